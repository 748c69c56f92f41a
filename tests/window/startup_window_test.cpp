// Start-up and close of the main window: the settings it reads and writes,
// the language it starts in, and a folder handed over on the command line.
#include "window_fakes.h"

#include "engine/contentcache.h"

namespace window_test {
namespace {

const QString kRussianGreeting = QStringLiteral("Выберите папку, укажите расширение и нажмите кнопку поиск ..");

class WindowStartup : public WindowTest {};

TEST_F(WindowStartup, FirstStartIsRussianWithEmptyFieldsAndStoresRussianOnClose) {
  open();
  EXPECT_TRUE(form().Russian1->isChecked());
  EXPECT_FALSE(form().English1->isChecked());
  EXPECT_EQ(status(), kRussianGreeting);
  EXPECT_EQ(form().caption(), "Удаление дубликатов файлов Зорвик - 1.5");
  EXPECT_EQ(form().Edit1->text() + form().Edit2->text() + form().sEdit1->text(), "");
  EXPECT_EQ(title(), kStartTitle);
  EXPECT_EQ(settings.writes, 0);  // read at start, written only at close

  EXPECT_TRUE(form().close());
  EXPECT_EQ(
      settings.values,
      (QMap<QString, QString>{
          {"Language", "Rus"}, {"Path", ""}, {"Path2", ""}, {"master", ""}, {"Link", ""}, {"RememberContents", "1"}}));
  EXPECT_EQ(settings.writes, 6);
  EXPECT_EQ(ui.shown(), 0);
}

TEST_F(WindowStartup, OnlyTheExactStoredValueEnStartsInEnglish) {
  settings.values["Language"] = QStringLiteral("En");
  open();
  EXPECT_TRUE(form().English1->isChecked());
  EXPECT_EQ(status(), "Ready to work ...");
  EXPECT_EQ(form().Button1->text(), "Scan");

  for (const char* stored : {"en", "EN", "Rus", "English", " En"}) {
    settings.values["Language"] = QString::fromLatin1(stored);
    open();
    EXPECT_TRUE(form().Russian1->isChecked()) << stored;
    EXPECT_EQ(status(), kRussianGreeting) << stored;
    EXPECT_EQ(form().Button1->text(), "Поиск") << stored;
  }
}

TEST_F(WindowStartup, CommandLineFolderReplacesTheStoredFoldersAndGetsASeparator) {
  settings.values["Language"] = QStringLiteral("En");
  settings.values["Path"] = QStringLiteral("/srv/a;/srv/b;");
  open({QStringLiteral("zorvik"), QStringLiteral("/data/My Photos"), QStringLiteral("/ignored")});
  EXPECT_EQ(form().Edit1->text(), "/data/My Photos/");
  EXPECT_EQ(form().ext->currentText(), "*.*");
  EXPECT_EQ(form().results().count(), 0);  // no scan starts by itself
  EXPECT_EQ(status(), "Ready to work ...");
  form().close();
  EXPECT_EQ(settings.values.value("Path"), "/data/My Photos/");

  const std::pair<const char*, const char*> cases[] = {{"/", "//"}, {"/data/Photos/", "/data/Photos//"}};
  for (const auto& [argument, expected] : cases) {
    open({QStringLiteral("zorvik"), QString::fromLatin1(argument)});
    EXPECT_EQ(form().Edit1->text(), QString::fromLatin1(expected)) << argument;
  }

  open({QStringLiteral("zorvik"), QString(), QStringLiteral("/data/next")});
  EXPECT_EQ(form().Edit1->text(), "/data/next/");

  open({QStringLiteral("/data/not-a-folder-argument")});  // only the program's name
  EXPECT_EQ(form().Edit1->text(), "/data/My Photos/");    // as stored by the last close
}

TEST_F(WindowStartup, StoredValuesComeBackAsStoredAndEveryCloseWritesThemAll) {
  const QMap<QString, QString> stored{{"Language", "En"}, {"Path", "/srv/a;/srv/b c;"}, {"Path2", " /dest "},
                                      {"master", "Keep"}, {"Link", "symbolic"},         {"RememberContents", "0"}};
  settings.values = stored;
  open();
  EXPECT_EQ(form().Edit1->text(), "/srv/a;/srv/b c;");
  EXPECT_EQ(form().Edit2->text(), " /dest ");
  EXPECT_EQ(form().sEdit1->text(), "Keep");
  EXPECT_TRUE(form().SymLink1->isChecked());
  EXPECT_FALSE(form().RememberContents1->isChecked());
  form().close();
  EXPECT_EQ(settings.values, stored);
  EXPECT_EQ(settings.writes, 6);

  open();
  form().Edit2->setText(QStringLiteral("/moved"));
  trigger("Russian1");
  trigger("HardLink1");
  trigger("RememberContents1");
  trigger("close1");  // Alt+F4's item closes the window too
  EXPECT_EQ(settings.values.value("Language"), "Rus");
  EXPECT_EQ(settings.values.value("Path2"), "/moved");
  EXPECT_EQ(settings.values.value("Link"), "hard");
  EXPECT_EQ(settings.values.value("RememberContents"), "1");
  EXPECT_EQ(settings.writes, 12);
  // A value the window does not know is Off.
  settings.values["Link"] = QStringLiteral("Hard");
  open();
  EXPECT_TRUE(form().LinkOff1->isChecked());

  // Forget deletes the cache file, and says so when it cannot.
  const QString cache = DefaultContentCachePath();
  ASSERT_TRUE(QDir().mkpath(QFileInfo(cache).path()));
  QFile(cache).open(QIODevice::WriteOnly);
  openEnglish();
  trigger("ForgetContents1");
  EXPECT_FALSE(QFile::exists(cache));
  ASSERT_TRUE(QDir().mkpath(cache));  // a folder where the file goes: no deleting it
  ui.message("The remembered contents could not be forgotten: " + cache + " cannot be deleted.");
  trigger("ForgetContents1");
  EXPECT_EQ(ui.count(Dialog::Message), 1);
  EXPECT_TRUE(QDir().rmdir(cache));

  // A store that takes nothing: the window says so in its language and closes all the same.
  settings.failing = true;
  openEnglish();
  ui.message(QStringLiteral("The settings could not be saved."));
  EXPECT_TRUE(form().close());
  openRussian();
  ui.message(QStringLiteral("Не удалось сохранить настройки."));
  EXPECT_TRUE(form().close());
  EXPECT_EQ(ui.count(Dialog::Message), 3);
}

TEST_F(WindowStartup, ClosingDuringAScanWritesAndClosesAtOnceWhileTheScanGoesOn) {
  Tree tree;
  for (int g = 0; g < 3; ++g)
    for (const char* name : {"a", "b"})
      tree.file(QStringLiteral("g%1/%2.bin").arg(g).arg(name), Bytes(3000 + 1000 * g, g));
  openEnglishEveryPump();
  form().show();
  int writesAtClose = -1;
  bool openAfterClose = false, scanningAfterClose = false;
  atNextPump([&] {
    form().close();
    writesAtClose = settings.writes;
    openAfterClose = form().isVisible();
    scanningAfterClose = !form().sButton1->isHidden();
  });
  scanFolder(tree.root());

  EXPECT_EQ(writesAtClose, 6);
  EXPECT_EQ(settings.values.value("Path"), tree.root());
  EXPECT_FALSE(openAfterClose);
  EXPECT_TRUE(scanningAfterClose);  // the scan runs on to its end
  EXPECT_FALSE(form().isVisible());
  EXPECT_EQ(status(), "Complete ...");
  EXPECT_EQ(form().results().groupCount(), 3);
  EXPECT_EQ(settings.writes, 6);  // written once
}

TEST_F(WindowStartup, ClosedDuringAScanThenCancelledTheScanEndsOutOfSight) {
  Tree tree;
  for (const char* name : {"a.txt", "b.txt", "sub/c.txt"}) tree.file(name, Bytes(2000, 1));
  openEnglishEveryPump();
  form().show();
  bool openAfterCancel = false;
  ui.okCancel(QStringLiteral("Confirm"), QStringLiteral("Do you really want to stop searching?"), true);
  atNextPump([&] {
    form().close();
    atNextPump([&] {
      click("sButton1");
      openAfterCancel = form().isVisible();
    });
  });
  scanFolder(tree.root());
  EXPECT_FALSE(openAfterCancel);
  EXPECT_FALSE(form().isVisible());
  EXPECT_EQ(status(), "Canceled.");
  EXPECT_EQ(settings.writes, 6);

  // Closed through the switch to English: the new instance starts while
  // the old window is already gone and its scan runs on.
  openRussian().setPumpInterval(0);
  form().show();
  bool openAtRestart = true;
  desktop.onRestart = [&] { openAtRestart = form().isVisible(); };
  atNextPump([&] {
    ui.okCancel(QStringLiteral("Notice"), QStringLiteral("To apply changes you must reload programm."), true);
    trigger("English1");
  });
  scanFolder(tree.root());
  EXPECT_EQ(desktop.restarts, 1);
  EXPECT_FALSE(openAtRestart);
  EXPECT_EQ(settings.values.value("Language"), "En");
  EXPECT_EQ(status(), "Complete ...");  // in English: the check moved before the close
}

TEST_F(WindowStartup, AddIntoContextMenuIsCheckedWhenTheFolderCommandExists) {
  desktop.commandExists = true;
  EXPECT_TRUE(open().Addto1->isChecked());
  desktop.commandExists = false;
  EXPECT_FALSE(open().Addto1->isChecked());
}

}  // namespace
}  // namespace window_test
