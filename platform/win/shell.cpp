// The desktop shell on Windows: ShellExecute, and the Explorer's folder
// command as per-user registry keys.
#include "platform/shell.h"

#include <QString>

#include <memory>
#include <utility>

#include <shellapi.h>
#include <windows.h>

namespace {

const wchar_t kCommandKey[] = L"software\\classes\\Directory\\Shell\\Zazovovir Iruvav";
const wchar_t kCommandSubkey[] = L"software\\classes\\Directory\\Shell\\Zazovovir Iruvav\\command\\";

const wchar_t* W(const QString& text) { return reinterpret_cast<const wchar_t*>(text.utf16()); }

// Writes the default value of a key below HKEY_CURRENT_USER, creating the
// key and any missing key above it.
bool WriteDefault(const wchar_t* key, const QString& value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));  // with the terminating NUL
  const bool ok =
      RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(W(value)), bytes) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return ok;
}

class WindowsShell : public Shell {
 public:
  explicit WindowsShell(QString program = {}) : program_(std::move(program)) {}
  void open(const QString& target) override { ShellExecuteW(nullptr, L"open", W(target), nullptr, nullptr, SW_SHOW); }
  QString programPath() override {
    if (!program_.isEmpty()) return program_;
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return QString::fromWCharArray(path, static_cast<qsizetype>(length));
  }
  void restart() override { ShellExecuteW(nullptr, L"open", W(programPath()), nullptr, nullptr, SW_SHOW); }
  bool folderCommandExists() override {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kCommandKey, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, &handle) !=
        ERROR_SUCCESS)
      return false;
    RegCloseKey(handle);
    return true;
  }
  bool addFolderCommand(const QString& menuText) override {
    const QString command = QLatin1Char('"') + programPath() + QStringLiteral("\" \"%1\"");
    return WriteDefault(kCommandKey, menuText) && WriteDefault(kCommandSubkey, command);
  }
  void removeFolderCommand() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kCommandKey);  // the command subkey with it
    RegDeleteKeyW(HKEY_CURRENT_USER, kCommandKey);
  }

 private:
  QString program_;  // empty: this program
};

}  // namespace

Shell& DesktopShell() {
  static WindowsShell shell;
  return shell;
}

std::unique_ptr<Shell> DesktopShellAt(const QString& programPath) {
  return std::make_unique<WindowsShell>(programPath);
}
