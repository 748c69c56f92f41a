// The two language commands: the Russian captions and hints, the restart
// question of English, and the mixed state a declined restart leaves.
#include "window_fakes.h"

#include <QCheckBox>
#include <QMenu>
#include <QRadioButton>

namespace window_test {
namespace {

const QString kNotice = QStringLiteral("Notice");
const QString kReload = QStringLiteral("To apply changes you must reload programm.");

class WindowLanguage : public WindowTest {
 protected:
  void writePair() {
    tree.file("p/a.txt", Bytes(3000, 1));
    tree.file("p/b.txt", Bytes(3000, 1));
  }
  Tree tree;
};

TEST_F(WindowLanguage, RussianReplacesCaptionsAndHints) {
  TForm1& f = openEnglish();
  trigger("Russian1");
  EXPECT_TRUE(f.Russian1->isChecked());
  EXPECT_FALSE(f.English1->isChecked());
  const std::pair<QString, const char*> texts[] = {
      {f.caption(), "Удаление дубликатов файлов Зорвик - 1.5"},
      {f.Button1->text(), "Поиск"},
      {f.sButton1->text(), "Отмена"},
      {f.Button2->text(), "Обработать"},
      {f.Label1->text(), "Чего изволите?"},
      {f.sLabel1->text(), "Директории для поиска (дв. клик чтобы указать)"},
      {f.Edit1->toolTip(), "Директории для поиска (дв. клик чтобы указать)"},
      {f.sLabel2->text(), "Расширение"},
      {f.ext->toolTip(), "Расширение файлов (*.*)"},
      {f.sCheckBox1->text(), "Быстрое сравнение больших файлов"},
      {f.sCheckBox1->toolTip(),
       "Файлы больше 10 МБ не будут сравниваться до байта, полезно для поиска одинаковых видео"},
      {f.RadioButton1->text(), "Удалить"},
      {f.RadioButton2->text(), "Переместить в папку"},
      {f.findChild<QLabel*>("sEdit1BoundLabel")->text(), "Не отмечать файлы из этой папки"},
      {f.Edit7->toolTip(), "Количество найденых дубликатов"},
      {f.Edit5->toolTip(), "Общий объём освобождаемого пространства"},
      {f.sLabel3->text(), "Двойной клик по файлу чтобы показать"},
      {f.File1->title(), "Файл"},
      {f.Options1->title(), "Опции"},
      {f.Language1->title(), "Язык"},
      {f.AddFolders1->text(), "Указать папки"},
      {f.Enter1->text(), "Поиск"},
      {f.Delete1->text(), "Удалить"},
      {f.close1->text(), "Закрыть"},
      {f.English1->text(), "Английский"},
      {f.Skip1->text(), "Пропускать файлы менее 20 KB"},
      {f.DelDirs1->text(), "Удалять пустые каталоги"},
      {f.ReplaceLink1->title(), "Заменить ссылкой"},
      {f.HardLink1->text(), "Жёсткая ссылка"},
      {f.Clone1->text(), "Клон (общие блоки)"},
      {f.SelectAll1->text(), "Выбрать всё"},
      {f.UnselectAll1->text(), "Убрать все галочки"},
      {f.N2->text(), "Выбрать кроме первого"},
      {f.N5->text(), "Загрузить список"},
      // Texts no switch changes.
      {f.Button1->toolTip(), "Ctrl+Enter"},
      {f.Button2->toolTip(), "Ctrl+Del"},
      {title(), "Удаление дубликатов файлов Зорвик"}};
  for (const auto& [shown, expected] : texts) EXPECT_EQ(shown, QString::fromUtf8(expected));
  // Qt's Russian translation is in use now; the menus name the keys as the Scan button's hint does.
  EXPECT_EQ(menuKeys(), "Ctrl+Ins Ctrl+S Ctrl+L Ctrl+Enter Ctrl+Del Esc Alt+F4 Enter Ctrl+F Ctrl+A Ctrl+Z");
  EXPECT_EQ(ui.shown(), 0);
}

TEST_F(WindowLanguage, RussianScanAsksAndReportsInRussian) {
  writePair();
  open().setPumpInterval(0);
  QString searching, comparing;
  atNextPump([&] { searching = status(); });
  QObject::connect(&form().results(), &QAbstractItemModel::rowsInserted, &form(), [&] { comparing = status(); });
  scanFolder(tree("p"));
  EXPECT_EQ(searching, "Происходит поиск файлов, подождите ...");
  EXPECT_EQ(comparing, "Происходит сравнение файлов, подождите ...");
  EXPECT_EQ(status(), "Выполнено.");
  trigger("Russian1");  // chosen again: nothing changes
  EXPECT_EQ(status(), "Выполнено.");
  EXPECT_TRUE(form().Russian1->isChecked());

  ui.yesNo(QStringLiteral("Внимание"), QStringLiteral("Список содержит данные, вы настаиваете на продолжении?"), true);
  ui.okCancel(QStringLiteral("Подтверждение"), QStringLiteral("Вы действительно хотите прервать поиск?"), true);
  atNextPump([&] { click("sButton1"); });
  click("Button1");
  EXPECT_EQ(status(), "Отменено.");
}

TEST_F(WindowLanguage, RussianChosenDuringAScanTakesEffectAtOnce) {
  writePair();
  openEnglishEveryPump();
  QString afterSwitch;
  atNextPump([&] {
    trigger("Russian1");
    afterSwitch = status();
  });
  scanFolder(tree("p"));
  EXPECT_EQ(afterSwitch, "Чего изволите?");
  EXPECT_EQ(status(), "Выполнено.");
  EXPECT_EQ(form().Button1->text(), "Поиск");
  EXPECT_EQ(marks(), ".x");
}

TEST_F(WindowLanguage, EnglishFromRussianAnsweredOkStoresEnglishAndRestarts) {
  open();
  form().Edit1->setText(QStringLiteral("/data/Photos/"));
  form().show();
  QString languageAtRestart;
  bool openAtRestart = true;
  desktop.onRestart = [&] {
    languageAtRestart = settings.values.value("Language");
    openAtRestart = form().isVisible();
  };
  ui.okCancel(kNotice, kReload, true);
  trigger("English1");
  EXPECT_EQ(desktop.restarts, 1);
  EXPECT_EQ(languageAtRestart, "En");
  EXPECT_FALSE(openAtRestart);
  EXPECT_EQ(settings.values.value("Path"), "/data/Photos/");

  open();  // the new instance
  EXPECT_TRUE(form().English1->isChecked());
  EXPECT_EQ(status(), "Ready to work ...");
  EXPECT_EQ(form().Edit1->text(), "/data/Photos/");
}

TEST_F(WindowLanguage, EnglishFromRussianAnsweredCancelLeavesTheMixedState) {
  writePair();
  open().setPumpInterval(0);
  form().show();
  ui.okCancel(kNotice, kReload, false);
  trigger("English1");
  EXPECT_TRUE(form().English1->isChecked());
  EXPECT_FALSE(form().Russian1->isChecked());
  EXPECT_TRUE(form().isVisible());
  EXPECT_EQ(desktop.restarts, 0);
  EXPECT_EQ(form().Button1->text(), "Поиск");
  EXPECT_EQ(form().caption(), "Удаление дубликатов файлов Зорвик - 1.5");

  // Texts chosen when shown come out in English.
  QString searching;
  atNextPump([&] { searching = status(); });
  scanFolder(tree("p"));
  EXPECT_EQ(searching, "Searching files, please wait ...");
  EXPECT_EQ(status(), "Complete ...");
  ui.yesNo(QStringLiteral("Warning"), QStringLiteral("List is not empty, do you want to continue?"), false);
  click("Button1");

  trigger("English1");  // English again: nothing is asked
  EXPECT_EQ(ui.count(Dialog::OkCancel), 1);
  form().close();
  EXPECT_EQ(settings.values.value("Language"), "En");

  // Russian chosen from the mixed state switches whole, and English asks again.
  trigger("Russian1");
  EXPECT_TRUE(form().Russian1->isChecked());
  EXPECT_EQ(status(), "Чего изволите?");
  ui.okCancel(kNotice, kReload, false);
  trigger("English1");
  EXPECT_EQ(ui.count(Dialog::OkCancel), 2);
}

TEST_F(WindowLanguage, OnlyTheMainWindowShowsTheApplicationTitleAndQtSpeaksTheChosenLanguage) {
  writePair();
  open().setPumpInterval(0);  // a first start: Russian
  EXPECT_EQ(form().windowTitle(), "Удаление дубликатов файлов Зорвик - 1.5 — Удаление дубликатов файлов Зорвик");
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Отмена");  // a message box's own button
  scanFolder(tree("p"));
  EXPECT_EQ(form().windowTitle(), "Удаление дубликатов файлов Зорвик - 1.5 — Comparing - 100%");
  // Qt's application display name stays unset: X11 would append it to the
  // title of every window, message boxes and the About box included.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
  ui.okCancel(kNotice, kReload, false);
  trigger("English1");  // the mixed state: every message in English, Qt's buttons too
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
  trigger("Russian1");
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Отмена");
  openEnglish();
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
  EXPECT_EQ(form().windowTitle(), "Duplicate finder and remover Zorvik — Comparing - 100%");
}

// The texts of the message table that no run above shows in that language.
TEST_F(WindowLanguage, TheMessageTableSpeaksBothLanguages) {
  ProcessEvent end{.kind = ProcessEvent::Kind::Finished, .processed = 1, .kept = 2, .failed = 3};
  EXPECT_EQ(ProcessEndText(end, false), "Processing files - 1; kept, no identical copy left - 2; failed - 3");
  end.processed = 0, end.kept = 1, end.failed = 0;
  EXPECT_EQ(ProcessEndText(end, true), "Обработано файлов - 0; сохранено, нет одинаковой копии - 1");
  end.mode = ProcessMode::SymLink, end.leftovers = 2;
  EXPECT_EQ(ProcessEndText(end, true),
            "Заменено ссылками - 0; сохранено, нет одинаковой копии - 1; найдено временных имён прерванных замен - 2");
  EXPECT_EQ(MessageText(ConfirmMessage(ProcessMode::HardLink), true), "Заменить отмеченные файлы жёсткими ссылками?");
  EXPECT_EQ(RefusalText(fs::kNoCopyOnThisFileSystem, true), "нет одинаковой копии на этой файловой системе");
  EXPECT_EQ(MessageText(Message::WholeGroupsText, true).arg(1), "Отмечены все копии в группах: 1. Удалить их все?");
  const ScanEvent memory = ScanEvent::failed(ScanEvent::Failure::OutOfMemory);
  EXPECT_EQ(ScanFailedText(memory, false), "Scan failed: not enough memory");
  EXPECT_EQ(ScanFailedText(memory, true), "Ошибка поиска: недостаточно памяти");
  EXPECT_EQ(ScanFailedText(ScanEvent::failed(ScanEvent::Failure::Other, "vector"), false), "Scan failed: vector");
  EXPECT_EQ(MessageText(Message::ComparingTitle, true).arg(37), "Comparing - 37%");
  const ListLoadError large{ListLoadError::Kind::TooLarge, QString(), qint64(256) << 20};
  EXPECT_EQ(ListLoadErrorMessage("/dev/zero", large, true),
            "/dev/zero: the list is larger than 256 MB or does not end");
  const ListLoadError rows{ListLoadError::Kind::TooManyRows, QString(), 3000000};
  EXPECT_EQ(ListLoadErrorMessage("/l", rows, false), "/l: the list has more than 3000000 rows");
}

TEST_F(WindowLanguage, EnglishChosenWhileEnglishAsksNothing) {
  TForm1& f = openEnglish();
  f.show();
  trigger("English1");
  EXPECT_TRUE(f.English1->isChecked());
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(ui.shown(), 0);
}

}  // namespace
}  // namespace window_test
