// The interface speaks English or Russian; every message and status text
// picks its form when it is shown.
#pragma once

#include <QString>

inline QString LanguageText(bool english, const char* en, const char* ru) {
  return english ? QString::fromUtf8(en) : QString::fromUtf8(ru);
}
