#include "platform/settings.h"

#include <QSettings>

namespace {

class NativeSettings : public SettingsStore {
 public:
  QString read(const QString& name) override {
    QSettings settings(QStringLiteral("Zorvik-Soft"), QStringLiteral("DOdudiv"));
    const QVariant value = settings.value(name);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
  }
  bool write(const QString& name, const QString& value) override {
    QSettings settings(QStringLiteral("Zorvik-Soft"), QStringLiteral("DOdudiv"));
    settings.setValue(name, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
  }
};

}  // namespace

SettingsStore& UserSettings() {
  static NativeSettings store;
  return store;
}
