// Opens the main window with a scan of a folder and saves it as a PNG, for
// looking at the window without a desktop; prints how long the scan took:
//   screenshot OUT.png [FOLDER] [ru]
#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/ui.h"
#include "shell/folderlist.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>

#include <QLineEdit>
#include <QMap>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

namespace {

class NoDialogs : public Ui {
 public:
  bool askYesNo(QWidget*, const QString&, const QString&) override { return true; }
  bool askOkCancel(QWidget*, const QString&, const QString&) override { return true; }
  void message(QWidget*, const QString&, const QString&) override {}
  std::optional<QString> pickFolder(QWidget*, const QString&) override { return std::nullopt; }
  QString browseForFolder(QWidget*, const QString&) override { return QString(); }
  QString openFileName(QWidget*, const QString&) override { return QString(); }
  QString saveFileName(QWidget*, const QString&, const QString&) override { return QString(); }
  void beep() override {}
};

class MemorySettings : public SettingsStore {
 public:
  QMap<QString, QString> values;
  QString read(const QString& name) override { return values.value(name); }
  bool write(const QString& name, const QString& value) override {
    values[name] = value;
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  SetApplicationTitle(QStringLiteral("Удаление дубликатов файлов Зорвик"));
  const QStringList args = QApplication::arguments();
  if (args.size() < 2) return 2;
  NoDialogs ui;
  MemorySettings settings;
  settings.values[QStringLiteral("Language")] =
      args.size() > 3 && args[3] == QLatin1String("ru") ? QStringLiteral("Rus") : QStringLiteral("En");
  TForm1 form(Services{&ui, &DesktopShell(), &settings, {}});
  form.show();
  if (args.size() > 2) {
    form.Edit1->setText(args[2]);
    QElapsedTimer clock;
    clock.start();
    form.Enter1Click();
    std::fprintf(stderr, "scan in the window: %lld ms, %d rows\n", static_cast<long long>(clock.elapsed()),
                 form.results().count());
  }
  QApplication::processEvents();
  form.grab().save(args[1]);
  return 0;
}
