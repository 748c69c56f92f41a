// The settings store of the current user: text values under one key.
#pragma once

#include <QString>

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // A missing value, or one that is not a text, reads as the empty text.
  virtual QString read(const QString& name) = 0;
  // Returns false when the value could not be stored.
  virtual bool write(const QString& name, const QString& value) = 0;
};

// The program's own store: on Linux ~/.config/Zorvik-Soft/DOdudiv.conf.
SettingsStore& UserSettings();
