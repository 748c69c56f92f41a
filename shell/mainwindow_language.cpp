// TForm1's two languages: the caption table and the language commands.
#include "shell/mainwindow.h"

#include "platform/desktop.h"
#include "platform/ui.h"
#include "shell/captions.h"

#include <QAction>
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// The texts of the window in its two languages: English from its creation,
// Russian from a switch to Russian.
const Caption kCaptions[] = {
    {"TForm1", Caption::Title, "Duplicate finder and remover Zorvik",
     "Удаление дубликатов файлов Зорвик - " ZORVIK_VERSION_TEXT},
    {"File1", Caption::Text, "File", "Файл"},
    {"AddFolders1", Caption::Text, "Add Folders", "Указать папки"},
    {"Saveas1", Caption::Text, "Save list", "Сохранить список"},
    {"Load1", Caption::Text, "Load list", "Загрузить список"},
    {"Enter1", Caption::Text, "Scan", "Поиск"},
    {"Delete1", Caption::Text, "Delete", "Удалить"},
    {"Cancel1", Caption::Text, "Cancel", "Отмена"},
    {"close1", Caption::Text, "Close", "Закрыть"},
    {"Options1", Caption::Text, "Options", "Опции"},
    {"Language1", Caption::Text, "Language", "Язык"},
    {"English1", Caption::Text, "English", "Английский"},
    {"Russian1", Caption::Text, "Russian", "Русский"},
    {"Addto1", Caption::Text, "Add into context menu", "Интегрировать в меню проводника"},
    {"UseRecycle1", Caption::Text, "Use Recycle Bin", "Удалять в корзину"},
    {"Skip1", Caption::Text, "Skip small files (less 20 KB)", "Пропускать файлы менее 20 KB"},
    {"Skip2", Caption::Text, "Skip empty files", "Пропускать пустые файлы"},
    {"DelDirs1", Caption::Text, "Delete empty folders", "Удалять пустые каталоги"},
    {"ReplaceLink1", Caption::Text, "Replace with link", "Заменить ссылкой"},
    {"HardLink1", Caption::Text, "Hard link", "Жёсткая ссылка"},
    {"SymLink1", Caption::Text, "Symbolic link", "Символьная ссылка"},
    {"Clone1", Caption::Text, "Clone (shared blocks)", "Клон (общие блоки)"},
    {"LinkOff1", Caption::Text, "Off", "Выкл."},
    {"RememberContents1", Caption::Text, "Remember file contents between scans",
     "Запоминать содержимое файлов между поисками"},
    {"ForgetContents1", Caption::Text, "Forget remembered contents", "Забыть запомненное"},
    {"Execute1", Caption::Text, "Execute", "Запустить"},
    {"OpenFolder1", Caption::Text, "Open folder", "Открыть папку"},
    {"SelectAll1", Caption::Text, "Select All", "Выбрать всё"},
    {"UnselectAll1", Caption::Text, "Unselect all", "Убрать все галочки"},
    {"N2", Caption::Text, "Select all exclude first", "Выбрать кроме первого"},
    {"c1", Caption::Text, "Save list", "Сохранить список"},
    {"N5", Caption::Text, "Load list", "Загрузить список"},
    {"Button1", Caption::Text, "Scan", "Поиск"},
    {"sButton1", Caption::Text, "Cancel", "Отмена"},
    {"Button2", Caption::Text, "Do it", "Обработать"},
    {"Label1", Caption::Text, "Ready to work ...", "Чего изволите?"},
    {"sLabel1", Caption::Text, "Folders to scan (Double Click to Browse)",
     "Директории для поиска (дв. клик чтобы указать)"},
    {"Edit1", Caption::Hint, "Folders to scan (Double Click to Browse)",
     "Директории для поиска (дв. клик чтобы указать)"},
    {"sLabel2", Caption::Text, "File Ext.", "Расширение"},
    {"ext", Caption::Hint, "", "Расширение файлов (*.*)"},
    {"sCheckBox1", Caption::Text, "Fast compare large files", "Быстрое сравнение больших файлов"},
    {"sCheckBox1", Caption::Hint,
     "Files larger than 10 MB will not be compared to a byte, useful for searching for identical videos",
     "Файлы больше 10 МБ не будут сравниваться до байта, полезно для поиска одинаковых видео"},
    {"RadioButton1", Caption::Text, "Remove", "Удалить"},
    {"RadioButton2", Caption::Text, "Move to folder", "Переместить в папку"},
    {"sEdit1BoundLabel", Caption::Text, "Do not mark files from this folder", "Не отмечать файлы из этой папки"},
    {"Edit7", Caption::Hint, "Duplicate Numbers", "Количество найденых дубликатов"},
    {"Edit5", Caption::Hint, "Total space to free", "Общий объём освобождаемого пространства"},
    {"sLabel3", Caption::Text, "Double click on the file to show", "Двойной клик по файлу чтобы показать"},
};

}  // namespace

void TForm1::applyCaptions(bool russian) {
  ApplyCaptions(this, kCaptions, russian, [this](const QString& caption) { setCaption(caption); });
  fitToTexts();
}

void TForm1::Russian1Click() {
  if (!englishChecked_) {
    Russian1->setChecked(true);
    return;
  }
  Russian1->setChecked(true);
  englishChecked_ = false;
  useQtTranslations(true);
  applyCaptions(true);
}

void TForm1::English1Click() {
  if (englishChecked_) {
    English1->setChecked(true);
    return;
  }
  English1->setChecked(true);
  englishChecked_ = true;
  useQtTranslations(false);
  if (!services_.ui->askOkCancel(this, message(Message::ReloadTitle), message(Message::ReloadText))) return;
  close();
  services_.desktop->restart();
}

// Qt's own texts (the buttons of a message box, the file dialogs) speak the
// language every message is picked in: Russian while Russian is checked.
void TForm1::useQtTranslations(bool russian) {
  static QTranslator* qt = nullptr;
  if (russian && !qt) {
    auto* loaded = new QTranslator(qApp);
    if (!loaded->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      delete loaded;
      return;
    }
    qt = loaded;
    QCoreApplication::installTranslator(qt);
  } else if (!russian && qt) {
    QCoreApplication::removeTranslator(qt);
    delete qt;
    qt = nullptr;
  }
}
