// Opens the main window, scans a folder or loads a list into it, and saves
// it as a PNG, for looking at the window without a desktop; prints how long
// a scan took:
//   screenshot OUT.png [FOLDER] [ru] [--list FILE] [--status TEXT] [--size min|WIDTHxHEIGHT]
//              [--menu ACTION]
// --size gives the client area (the window less its menu bar), or the
// smallest the window allows; --status sets the status line at the end;
// --menu also saves the menu holding the action named ACTION (objectName)
// as OUT-menu.png, and its submenu, if it opens one, as OUT-submenu.png.
#include "platform/desktop.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "shell/folderlist.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <cstdio>

namespace {

class NoDialogs : public Ui {
 public:
  QString listFile;  // what the open-file dialog answers
  bool askYesNo(QWidget*, const QString&, const QString&) override { return true; }
  bool askOkCancel(QWidget*, const QString&, const QString&) override { return true; }
  void message(QWidget*, const QString&, const QString& text) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
  }
  std::optional<QString> pickFolder(QWidget*, const QString&) override { return std::nullopt; }
  QString browseForFolder(QWidget*, const QString&) override { return QString(); }
  QString openFileName(QWidget*, const QString&) override { return listFile; }
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
  QCommandLineParser parser;
  const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("a list file to load"), QStringLiteral("FILE"));
  const QCommandLineOption status(QStringLiteral("status"), QStringLiteral("the status line"), QStringLiteral("TEXT"));
  const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("min or WIDTHxHEIGHT"), QStringLiteral("SIZE"));
  const QCommandLineOption menu(QStringLiteral("menu"), QStringLiteral("an action whose menus to save"),
                                QStringLiteral("ACTION"));
  parser.addOptions({list, status, size, menu});
  parser.process(app);
  const QStringList args = parser.positionalArguments();
  if (args.isEmpty()) return 2;
  NoDialogs ui;
  ui.listFile = parser.value(list);
  MemorySettings settings;
  settings.values[QStringLiteral("Language")] =
      args.size() > 2 && args[2] == QLatin1String("ru") ? QStringLiteral("Rus") : QStringLiteral("En");
  TForm1 form(Services{&ui, &SystemDesktop(), &settings, {}});
  form.show();
  if (args.size() > 1 && !args[1].isEmpty()) {
    form.Edit1->setText(args[1]);
    QElapsedTimer clock;
    clock.start();
    form.Enter1Click();
    std::fprintf(stderr, "scan in the window: %lld ms, %d rows\n", static_cast<long long>(clock.elapsed()),
                 form.results().count());
  }
  if (!ui.listFile.isEmpty()) form.Load1Click();
  if (parser.isSet(status)) form.Label1->setText(parser.value(status));
  if (parser.value(size) == QLatin1String("min")) {
    form.resize(1, 1);
  } else if (parser.isSet(size)) {
    const QStringList wh = parser.value(size).split(QLatin1Char('x'));
    if (wh.size() == 2) form.resize(wh[0].toInt(), wh[1].toInt() + form.menuBar()->height());
  }
  QApplication::processEvents();
  std::fprintf(stderr, "window %dx%d (smallest %dx%d), client %dx%d\n", form.width(), form.height(),
               form.minimumWidth(), form.minimumHeight(), form.centralWidget()->width(),
               form.centralWidget()->height());
  form.grab().save(args[0]);
  if (parser.isSet(menu)) {
    QString base = args[0];
    base.chop(4);  // ".png"
    const auto* action = form.findChild<QAction*>(parser.value(menu));
    if (action == nullptr) return 1;
    auto save = [](QMenu* m, const QString& file) {
      m->popup(QPoint(0, 0));
      QApplication::processEvents();
      m->grab().save(file);
      m->hide();
    };
    for (QMenu* m : form.findChildren<QMenu*>()) {
      if (m->actions().contains(action)) save(m, base + "-menu.png");
    }
    if (action->menu() != nullptr) save(action->menu(), base + "-submenu.png");
  }
  return 0;
}
