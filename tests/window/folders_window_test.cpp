// Folder selection: the folder-list dialog of Add Folders, the three browse
// commands and their picker, and the file managers' folder command.
#include "window_fakes.h"

#include <QListWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace window_test {
namespace {

const QString kNotice = QStringLiteral("Notice");
const QString kReload = QStringLiteral("To apply changes you must reload programm.");

// Sets an environment variable for as long as it lives.
class EnvironmentSetting {
 public:
  EnvironmentSetting(const char* name, const QByteArray& value) : name_(name), saved_(qgetenv(name)) {
    qputenv(name, value);
  }
  ~EnvironmentSetting() { qputenv(name_, saved_); }

 private:
  const char* name_;
  QByteArray saved_;
};

class WindowFolders : public WindowTest {
 protected:
  // Runs Add Folders; `inside` runs while the dialog is open and closes it.
  void addFolders(const std::function<void(TForm2&)>& inside) {
    bool ran = false;
    QTimer::singleShot(0, &form(), [&] {
      ran = true;
      inside(folderList());
      if (folderList().isVisible()) {
        ADD_FAILURE() << "the folder list is still open";
        folderList().reject();
      }
    });
    trigger("AddFolders1");
    EXPECT_TRUE(ran);
    EXPECT_FALSE(folderList().isVisible());
  }
  QString captions(TForm2& d) {
    return QStringList{d.windowTitle(), d.Button1->text(), d.Button5->text(),     d.Button4->text(),
                       d.Edit1->text(), d.Add1->text(),    d.DeleteItem1->text(), d.SelectAll1->text()}
        .join(QLatin1Char('|'));
  }

  Tree tree;
  std::unique_ptr<DesktopServices> systemDesktop;
};

TEST_F(WindowFolders, AddFoldersListsTheFoldersAndOkWritesThemBack) {
  const struct {
    const char* text;
    QStringList entries;
    const char* written;
  } cases[] = {{"A/;B", {"A/", "B"}, "A/;B;"}, {"A/;", {"A/"}, "A/"}, {"A/;;B/;", {"A/", "", "B/"}, "A/;;B/;"},
               {";A/", {"", "A/"}, ";A/;"},    {"", {}, ""},          {"/a b/", {"/a b/"}, "/a b/"}};
  openEnglish();
  for (const auto& c : cases) {
    form().Edit1->setText(QString::fromUtf8(c.text));
    QStringList listed;
    addFolders([&](TForm2& d) {
      listed = d.entries();
      d.Button3->click();
    });
    EXPECT_EQ(listed, c.entries) << c.text;
    EXPECT_EQ(form().Edit1->text(), c.written) << c.text;
  }
}

TEST_F(WindowFolders, FolderEditDeleteAndCancelChangeOnlyTheList) {
  openEnglish().Edit1->setText(QStringLiteral("/x/a/"));
  ui.browseFolder(QStringLiteral("/x/b")).browseFolder(QStringLiteral("/x/a")).browseFolder(QStringLiteral("/X/A/"));
  ui.browseFolder(std::nullopt).browseFolder(QStringLiteral("/x/c")).browseFolder(QStringLiteral("/x/d"));
  QStringList added, edited, belowEntries, afterDelete;
  QString selectedAfterDelete;
  addFolders([&](TForm2& d) {
    for (int i = 0; i < 4; ++i) d.Button1->click();  // a duplicate, another letter case, cancelled
    added = d.entries();
    d.ListBox1->setCurrentRow(1);
    d.Edit1->trigger();
    edited = d.entries();
    d.ListBox1->setCurrentRow(2);
    QWidget* entries = d.ListBox1->viewport();
    QTest::mouseDClick(entries, Qt::LeftButton, {}, QPoint(10, entries->height() - 4));  // below the last entry
    belowEntries = d.entries();
    d.ListBox1->setCurrentRow(2);
    d.Button2->click();
    afterDelete = d.entries();
    for (QListWidgetItem* item : d.ListBox1->selectedItems()) selectedAfterDelete += item->text();
    d.Button4->click();
  });
  EXPECT_EQ(added, (QStringList{"/x/a/", "/x/b/", "/X/A/"}));
  EXPECT_EQ(edited, (QStringList{"/x/a/", "/x/c/", "/X/A/"}));
  EXPECT_EQ(belowEntries, (QStringList{"/x/a/", "/x/c/", "/x/d/"}));  // the current entry replaced
  EXPECT_EQ(afterDelete, (QStringList{"/x/a/", "/x/c/"}));
  EXPECT_EQ(selectedAfterDelete, "/x/c/");
  EXPECT_EQ(form().Edit1->text(), "/x/a/");
}

TEST_F(WindowFolders, EnterActsAsOkOrPressesTheFocusedButtonAndEscCancels) {
  openEnglish().Edit1->setText(QStringLiteral("A/;B"));
  addFolders([](TForm2& d) {
    d.ListBox1->setFocus();
    QTest::keyClick(d.ListBox1, Qt::Key_Return);
  });
  EXPECT_EQ(form().Edit1->text(), "A/;B;");

  QStringList afterEnter;
  bool openAfterEnter = false;
  addFolders([&](TForm2& d) {
    d.Button5->setFocus();
    QTest::keyClick(d.Button5, Qt::Key_Return);
    afterEnter = d.entries();
    openAfterEnter = d.isVisible();
    QTest::keyClick(d.Button5, Qt::Key_Escape);
  });
  EXPECT_EQ(afterEnter, QStringList());
  EXPECT_TRUE(openAfterEnter);
  EXPECT_EQ(form().Edit1->text(), "A/;B;");
}

TEST_F(WindowFolders, RussianCaptionsComeWithActivationAndStayInTheMixedState) {
  const QString english = "Folders to scan|+ Folder|Clear All|Cancel|Edit|Add Folder|Delete Selected|Select All";
  const QString russian =
      "Укажите места поиска|+ Папку|Очистить|Отмена|Изменить|Добавить папку|Удалить выбранные|Выбрать всё";
  auto captionsWhenActive = [&] {
    QString shown;
    addFolders([&](TForm2& d) {
      QApplication::setActiveWindow(&d);  // as the window manager does
      shown = captions(d);
      d.reject();
    });
    return shown;
  };
  openRussian();
  EXPECT_EQ(captions(folderList()), english);  // until the dialog is activated
  EXPECT_EQ(captionsWhenActive(), russian);
  ui.okCancel(kNotice, kReload, false);
  trigger("English1");
  EXPECT_EQ(captionsWhenActive(), russian);
}

TEST_F(WindowFolders, BrowseCommandsStartAtTheFieldsFolderOrWhereTheyWereLast) {
  const QString a = tree.folder("a"), b = tree.folder("b");
  TForm1& f = openEnglish();
  f.Edit1->setText(a + "/;" + b + "/;");  // a list is no folder: the picker starts at its root
  ui.pickFolder(b, QDir::homePath());     // no desktop folder in this home
  QTest::mouseDClick(f.Edit1, Qt::LeftButton);
  EXPECT_EQ(f.Edit1->text(), b);  // the whole list replaced, no '/' added

  ui.pickFolder(std::nullopt, b);  // an empty field: where the picker was last
  click("sSpeedButton2");
  EXPECT_EQ(f.Edit2->text(), "");

  f.sEdit1->setText(a);
  ui.pickFolder(a + "/sub", a);  // the protected folder's own folder
  click("sSpeedButton3");
  EXPECT_EQ(f.sEdit1->text(), a + "/sub/");
  ui.pickFolder(QStringLiteral("/"), QDir::homePath());  // the last choice does not exist
  click("sSpeedButton3");
  EXPECT_EQ(f.sEdit1->text(), "/");

  f.Edit2->setText(tree("gone"));
  ui.pickFolder(a, QStringLiteral("/"));
  click("sSpeedButton2");
  EXPECT_EQ(f.Edit2->text(), a);
}

TEST_F(WindowFolders, AddIntoContextMenuWritesAndRemovesTheFileManagerEntries) {
  Tree data;
  // A program installed where its path needs every kind of quoting: a '%'
  // is doubled, a '"' and a '$' are escaped inside the quotes, and each
  // escaping backslash is doubled again as a string value.
  const QString program = data.root() + "/opt/100% \"sure\" $HOME/zorvik";
  const QString exec = "Exec=\"" + data.root() + R"(/opt/100%% \\"sure\\" \\$HOME/zorvik" %f)" + "\n";
  systemDesktop = SystemDesktopFor(program);  // outlives the windows that use it
  realDesktop = systemDesktop.get();
  const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
  auto expectEntries = [&](const QString& share, const QString& menuText) {
    const QString entryPath = data(share + "/applications/zorvik-find-duplicates.desktop");
    const QString entry = QString::fromUtf8(data.read(share + "/applications/zorvik-find-duplicates.desktop"));
    EXPECT_TRUE(entry.contains("Name=" + menuText + "\n") && entry.contains(exec)) << entry.toStdString();
    if (validator.isEmpty()) {
      ADD_FAILURE() << "desktop-file-validate is missing (scripts/install-deps.sh installs it)";
    } else {
      QProcess validate;
      validate.setProcessChannelMode(QProcess::MergedChannels);
      validate.start(validator, {entryPath});
      ASSERT_TRUE(validate.waitForFinished());
      EXPECT_EQ(validate.exitCode(), 0);
      EXPECT_EQ(QString::fromUtf8(validate.readAll()), "");
    }
    // Dolphin's service menu carries the same command line.
    const QString service = QString::fromUtf8(data.read(share + "/kio/servicemenus/zorvik-find-duplicates.desktop"));
    EXPECT_TRUE(service.contains("Name=" + menuText + "\n") && service.contains(exec)) << service.toStdString();
    const QString scriptPath = data(share + "/nautilus/scripts/" + menuText);
    const QString script = QString::fromUtf8(data.read(share + "/nautilus/scripts/" + menuText));
    EXPECT_TRUE(script.contains("exec '" + program + "' \"$folder\"\n")) << script.toStdString();
    EXPECT_TRUE(QFileInfo(scriptPath).isExecutable());
    // Run with the program replaced by printf: the folder it is handed,
    // from a name relative to the folder Nautilus shows, or an absolute one.
    QString echoing = script;
    echoing.replace("exec '" + program + "'", "exec printf %s");
    for (const auto& [given, handed] :
         {std::pair<QString, QString>{"photos", data.root() + "/photos"}, {"/abs/dir", "/abs/dir"}, {"", ""}}) {
      QProcess sh;
      sh.setWorkingDirectory(data.root());
      sh.start("/bin/sh", {"-c", echoing, "script", given});
      ASSERT_TRUE(sh.waitForFinished());
      EXPECT_EQ(QString::fromUtf8(sh.readAllStandardOutput()), handed) << given.toStdString();
    }
  };
  {
    EnvironmentSetting dataHome("XDG_DATA_HOME", data("xdg").toUtf8());
    EXPECT_FALSE(openEnglish().Addto1->isChecked());
    trigger("Addto1");
    ASSERT_TRUE(form().Addto1->isChecked());
    expectEntries("xdg", "Find Duplicates");
    EXPECT_TRUE(openEnglish().Addto1->isChecked());
    trigger("Addto1");
    for (const char* folder : {"applications", "kio/servicemenus", "nautilus/scripts"})
      EXPECT_TRUE(QDir(data("xdg/") + folder).isEmpty()) << folder;
    EXPECT_FALSE(openEnglish().Addto1->isChecked());
  }
  {
    EnvironmentSetting dataHome("XDG_DATA_HOME", {});
    EnvironmentSetting home("HOME", data("home").toUtf8());
    openRussian();
    trigger("Addto1");
    expectEntries("home/.local/share", "Поиск одинаковых файлов");
    EXPECT_TRUE(openRussian().Addto1->isChecked());
  }
  EXPECT_EQ(ui.shown(), 0);
}

}  // namespace
}  // namespace window_test
