// The desktop services on freedesktop.org desktops.
#include "platform/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <memory>
#include <utility>

namespace {

QString DataHome() {
  const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
  return xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : xdg;
}

// Where the folder command is written: a desktop entry for folders, a
// Dolphin service menu and a Nautilus script.
QString DesktopEntryPath() { return DataHome() + QStringLiteral("/applications/zorvik-find-duplicates.desktop"); }
QString ServiceMenuPath() { return DataHome() + QStringLiteral("/kio/servicemenus/zorvik-find-duplicates.desktop"); }
// Nautilus shows a script by its file name, so the script is named by the
// menu text; its mark line finds it again whatever language it was added in.
QString NautilusScriptFolder() { return DataHome() + QStringLiteral("/nautilus/scripts"); }
const char kScriptMark[] = "# zorvik-find-duplicates";

void RemoveNautilusScripts() {
  const QString folder = NautilusScriptFolder();
  QFile::remove(folder + QStringLiteral("/Zazovovir Iruvav"));  // the name earlier versions used
  for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly) || !file.read(4096).contains(kScriptMark)) continue;
    file.close();
    QFile::remove(info.filePath());
  }
}

// One argument of a desktop entry's Exec line: quoted, with the characters
// that are special inside quotes escaped by a backslash and a '%' doubled
// (a single one would start a field code), then escaped as a string value,
// which doubles every backslash: a '$' is written \\$, a '"' \\".
QString ExecArgument(const QString& arg) {
  QString quoted;
  for (const QChar c : arg) {
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
      quoted += QLatin1Char('\\');
    else if (c == QLatin1Char('%'))
      quoted += QLatin1Char('%');
    quoted += c;
  }
  quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  // Control characters stand in a string value only as escapes.
  quoted.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
  quoted.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
  quoted.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString ShellArgument(const QString& arg) {
  QString quoted = arg;
  quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

bool WriteFile(const QString& path, const QString& text, bool executable) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(text.toUtf8());
  if (!file.commit()) return false;
  if (executable) QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeUser);
  return true;
}

class FreedesktopServices : public DesktopServices {
 public:
  explicit FreedesktopServices(QString program = {}) : program_(std::move(program)) {}
  void open(const QString& target) override {
    const QUrl url = target.contains(QStringLiteral("://")) ? QUrl(target) : QUrl::fromLocalFile(target);
    QDesktopServices::openUrl(url);
  }
  QString programPath() override { return program_.isEmpty() ? QCoreApplication::applicationFilePath() : program_; }
  void restart() override { QProcess::startDetached(programPath(), {}); }
  bool folderCommandExists() override { return QFile::exists(DesktopEntryPath()); }
  bool addFolderCommand(const QString& menuText) override {
    const QString exec = ExecArgument(programPath()) + QStringLiteral(" %f");
    const QString entry = QStringLiteral(
                              "[Desktop Entry]\nType=Application\nName=%1\nExec=%2\nMimeType=inode/directory;\n"
                              "NoDisplay=true\nTerminal=false\n")
                              .arg(menuText, exec);
    const QString serviceMenu = QStringLiteral(
                                    "[Desktop Entry]\nType=Service\nMimeType=inode/directory;\n"
                                    "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\nActions=findDuplicates;\n\n"
                                    "[Desktop Action findDuplicates]\nName=%1\nExec=%2\n")
                                    .arg(menuText, exec);
    // Nautilus starts a script in the folder it shows, with the chosen
    // folder's name relative to it: the program is handed an absolute path.
    const QString script = QStringLiteral(
                               "#!/bin/sh\n%1\n"
                               "case $1 in\n  ''|/*) folder=$1 ;;\n  *) folder=$PWD/$1 ;;\nesac\n"
                               "exec %2 \"$folder\"\n")
                               .arg(QString::fromLatin1(kScriptMark), ShellArgument(programPath()));
    RemoveNautilusScripts();
    const QString scriptPath =
        NautilusScriptFolder() + QLatin1Char('/') + QString(menuText).replace(QLatin1Char('/'), QLatin1Char('-'));
    return WriteFile(DesktopEntryPath(), entry, false) && WriteFile(ServiceMenuPath(), serviceMenu, true) &&
           WriteFile(scriptPath, script, true);
  }
  void removeFolderCommand() override {
    RemoveNautilusScripts();
    QFile::remove(ServiceMenuPath());
    QFile::remove(DesktopEntryPath());
  }

 private:
  QString program_;  // empty: this program
};

}  // namespace

DesktopServices& SystemDesktop() {
  static FreedesktopServices desktop;
  return desktop;
}

std::unique_ptr<DesktopServices> SystemDesktopFor(const QString& programPath) {
  return std::make_unique<FreedesktopServices>(programPath);
}
