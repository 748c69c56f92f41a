#include "shell/messages.h"

#include "platform/fs.h"

#include <iterator>

namespace {

struct MessageRow {
  Message message;
  const char* english;  // UTF-8
  const char* russian;  // UTF-8; the same text where the message has one form only
};

// Every message of the window, in the order of Message.
constexpr MessageRow kMessages[] = {
    {Message::ReplaceListTitle, "Warning", "Внимание"},
    {Message::ReplaceListText, "List is not empty, do you want to continue?",
     "Список содержит данные, вы настаиваете на продолжении?"},
    {Message::StopScanTitle, "Confirm", "Подтверждение"},
    {Message::StopScanText, "Do you really want to stop searching?", "Вы действительно хотите прервать поиск?"},
    {Message::Searching, "Searching files, please wait ...", "Происходит поиск файлов, подождите ..."},
    {Message::Comparing, "Comparing files, please wait ...", "Происходит сравнение файлов, подождите ..."},
    {Message::NothingFound, "Complete.", "Выполнено."},
    {Message::Complete, "Complete ...", "Выполнено."},
    {Message::Cancelled, "Canceled.", "Отменено."},
    {Message::ScanFailed, "Scan failed: ", "Ошибка поиска: "},
    {Message::NotEnoughMemory, "not enough memory", "недостаточно памяти"},
    {Message::ComparingTitle, "Comparing - %1%", "Comparing - %1%"},
    {Message::CancelledTitle, "Zazovovir Iruvav", "Zazovovir Iruvav"},
    {Message::RefusedRoots, "These folders were not scanned, the path to them is not safe:",
     "Эти папки не просмотрены, путь к ним небезопасен:"},
    {Message::RefusedProtected, "The path to the folder whose files are not marked is not safe, so nothing was marked:",
     "Путь к папке, файлы которой не отмечаются, небезопасен, поэтому ничего не отмечено:"},
    {Message::ProcessTitle, "Confirm", "Подтверждение"},
    {Message::ProcessText, "Delete (or move) all selected files?", "Удалить (или переместить) отмеченые файлы?"},
    {Message::HardLinkText, "Replace the marked files with hard links?",
     "Заменить отмеченные файлы жёсткими ссылками?"},
    {Message::SymLinkText, "Replace the marked files with symbolic links?",
     "Заменить отмеченные файлы символьными ссылками?"},
    {Message::CloneText, "Replace the marked files with clones?", "Заменить отмеченные файлы клонами?"},
    {Message::WholeGroupsText, "Every copy of %1 groups is marked. Remove them all?",
     "Отмечены все копии в группах: %1. Удалить их все?"},
    {Message::InProcess, "In process ...", "Обработка ..."},
    {Message::Processed, "Processing files - ", "Обработано файлов - "},
    {Message::KeptCount, "; kept, no identical copy left - ", "; сохранено, нет одинаковой копии - "},
    {Message::FailedCount, "; failed - ", "; не обработано - "},
    {Message::Linked, "Linked - ", "Заменено ссылками - "},
    {Message::LeftoverCount, "; temporary names of stopped links found - ",
     "; найдено временных имён прерванных замен - "},
    {Message::DeleteFailed, " не удалён, ошибка = ", " не удалён, ошибка = "},
    {Message::NotRemoved, " was not removed: ", " не удалён: "},
    {Message::DestinationFailed, "The destination folder cannot be used, nothing was moved: ",
     "Папку назначения нельзя использовать, ничего не перемещено: "},
    {Message::NotANumber, "'%1' is not a valid integer value", "'%1' is not a valid integer value"},
    {Message::UnreadableLines, "%1 lines of the list could not be read; their rows are left unmarked.",
     "Строк списка, которые не удалось прочитать: %1; они оставлены без отметки."},
    {Message::ListTooLarge, "the list is larger than %1 MB or does not end",
     "the list is larger than %1 MB or does not end"},
    {Message::ListTooManyRows, "the list has more than %1 rows", "the list has more than %1 rows"},
    {Message::NotOpened, "", "не удаётся открыть файл"},
    {Message::NotAPicture, "not a valid %1 picture", "файл не является рисунком %1 или повреждён"},
    {Message::PictureTooLarge, "the picture is too large to show (%1 x %2)",
     "рисунок слишком велик для показа (%1 x %2)"},
    {Message::StartTitle, "Удаление дубликатов файлов Зорвик", "Удаление дубликатов файлов Зорвик"},
    {Message::RussianGreeting, "Выберите папку, укажите расширение и нажмите кнопку поиск ..",
     "Выберите папку, укажите расширение и нажмите кнопку поиск .."},
    {Message::SettingsNotSaved, "The settings could not be saved.", "Не удалось сохранить настройки."},
    {Message::FolderCommandText, "Find Duplicates", "Поиск одинаковых файлов"},
    {Message::FolderCommandFailed, "Failed to set data for ''", "Failed to set data for ''"},
    {Message::ReloadTitle, "Notice", "Notice"},
    {Message::ReloadText, "To apply changes you must reload programm.", "To apply changes you must reload programm."},
    {Message::ContentsNotForgotten, "The remembered contents could not be forgotten: %1 cannot be deleted.",
     "Не удалось забыть запомненное: файл %1 не удаляется."},
};

constexpr bool InOrder() {
  for (size_t i = 0; i < std::size(kMessages); ++i)
    if (static_cast<size_t>(kMessages[i].message) != i) return false;
  return static_cast<size_t>(Message::ContentsNotForgotten) + 1 == std::size(kMessages);
}
static_assert(InOrder(), "the table holds every message, in the order of Message");

// The Russian words of the program's refusals; the English ones are
// fs::ErrorText's.
struct Refusal {
  int code;
  const char* russian;  // UTF-8
};
const Refusal kRefusals[] = {
    {fs::kThroughLink, "путь проходит через ссылку"},
    {fs::kNotAbsolute, "путь не абсолютный"},
    {fs::kNotRegular, "это не обычный файл"},
    {fs::kChanged, "файл изменился во время обработки"},
    {fs::kNoTrash, "нет подходящей корзины для этого файла"},
    {fs::kReplaced, "это не тот файл, который нашёл поиск"},
    {fs::kUnsafeStep, "путь ведёт из папки одного пользователя в папку или файл другого"},
    {fs::kSharedLink, "путь проходит через ссылку другого пользователя в общей папке"},
    {fs::kOtherOwner, "файл принадлежит другому пользователю"},
    {fs::kNoReader, "это канал (FIFO), который никто не читает"},
    {fs::kAttributes, "не удалось перенести расширенные атрибуты или списки доступа"},
    {fs::kNoCopyOnThisFileSystem, "нет одинаковой копии на этой файловой системе"},
    {fs::kCloneUnsupported, "общие блоки файлов здесь не поддерживаются"},
    {fs::kMetadataDiffers, "владелец или права доступа отличаются от копии"},
    {fs::kLinkedAlready, "уже является ссылкой на свою копию"},
    {fs::kSwapUnsupported, "обмен двух имён за один шаг здесь не поддерживается"},
};

// An error in words: the program's refusals in the language, the system's
// own texts as the system gives them.
QString ReasonText(int error, bool russian) {
  return fs::IsRefusal(error) ? RefusalText(error, russian) : fs::ErrorText(error);
}

}  // namespace

QString MessageText(Message message, bool russian) {
  const MessageRow& row = kMessages[static_cast<size_t>(message)];
  return QString::fromUtf8(russian ? row.russian : row.english);
}

Message ConfirmMessage(ProcessMode mode) {
  switch (mode) {
    case ProcessMode::HardLink:
      return Message::HardLinkText;
    case ProcessMode::SymLink:
      return Message::SymLinkText;
    case ProcessMode::Clone:
      return Message::CloneText;
    case ProcessMode::Move:
    case ProcessMode::Recycle:
    case ProcessMode::Remove:
      break;
  }
  return Message::ProcessText;
}

QString RefusalText(int error, bool russian) {
  if (russian)
    for (const Refusal& r : kRefusals)
      if (r.code == error) return QString::fromUtf8(r.russian);
  return fs::ErrorText(error);
}

QString DeleteFailedMessage(const QString& path, int error, bool russian) {
  if (fs::IsRefusal(error)) return path + MessageText(Message::NotRemoved, russian) + RefusalText(error, russian);
  // The described text, in one form for both languages.
  return path + MessageText(Message::DeleteFailed, russian) + QString::number(error);
}

QString RefusedPathsMessage(const std::vector<RefusedPath>& paths, bool russian) {
  QString roots, protect;
  for (const RefusedPath& p : paths)
    (p.protectedFolder ? protect : roots) +=
        QLatin1Char('\n') + p.path + QStringLiteral(": ") + ReasonText(p.error, russian);
  QString text;
  if (!roots.isEmpty()) text += MessageText(Message::RefusedRoots, russian) + roots;
  if (!protect.isEmpty())
    text += (text.isEmpty() ? QString() : QStringLiteral("\n\n")) + MessageText(Message::RefusedProtected, russian) +
            protect;
  return text;
}

QString DestinationFailedMessage(const QString& path, int error, bool russian) {
  return MessageText(Message::DestinationFailed, russian) + path + QStringLiteral(": ") + ReasonText(error, russian);
}

QString ProcessEndText(const ProcessEvent& finished, bool russian) {
  const Message done = IsLinkMode(finished.mode) ? Message::Linked : Message::Processed;
  QString text = MessageText(done, russian) + QString::number(finished.processed);
  if (finished.kept > 0) text += MessageText(Message::KeptCount, russian) + QString::number(finished.kept);
  if (finished.failed > 0) text += MessageText(Message::FailedCount, russian) + QString::number(finished.failed);
  if (finished.leftovers > 0)
    text += MessageText(Message::LeftoverCount, russian) + QString::number(finished.leftovers);
  return text;
}

QString ScanFailedText(const ScanEvent& failed, bool russian) {
  const QString reason =
      failed.failure == ScanEvent::Failure::OutOfMemory ? MessageText(Message::NotEnoughMemory, russian) : failed.name;
  return MessageText(Message::ScanFailed, russian) + reason;
}

QString ListLoadErrorMessage(const QString& file, const ListLoadError& error, bool russian) {
  QString reason = error.reason;
  if (error.kind == ListLoadError::Kind::TooLarge)
    reason = MessageText(Message::ListTooLarge, russian).arg(error.bound >> 20);
  else if (error.kind == ListLoadError::Kind::TooManyRows)
    reason = MessageText(Message::ListTooManyRows, russian).arg(error.bound);
  return file + QStringLiteral(": ") + reason;
}

QString PictureErrorMessage(const QString& path, PictureKind kind, const PictureError& error, bool russian) {
  QString reason;
  switch (error.kind) {
    case PictureError::Kind::NotOpened:
      // In English the system's own words.
      reason = russian ? MessageText(Message::NotOpened, true) : error.reader;
      break;
    case PictureError::Kind::NotAPicture:
      // In English the reader's own words, where it has any.
      reason = !russian && !error.reader.isEmpty() && error.reader != QLatin1String("Unknown error")
                   ? error.reader
                   : MessageText(Message::NotAPicture, russian).arg(PictureFormatName(kind));
      break;
    case PictureError::Kind::TooLarge:
      reason = MessageText(Message::PictureTooLarge, russian).arg(error.size.width()).arg(error.size.height());
      break;
    case PictureError::Kind::None:
      break;
  }
  return path + QStringLiteral(": ") + reason;
}
