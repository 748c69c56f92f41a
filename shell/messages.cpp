#include "shell/messages.h"

#include "platform/fs.h"

namespace {

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
};

}  // namespace

QString RefusalText(int error, bool russian) {
  if (russian)
    for (const Refusal& r : kRefusals)
      if (r.code == error) return QString::fromUtf8(r.russian);
  return fs::ErrorText(error);
}

QString DeleteFailedMessage(const QString& path, int error, bool russian) {
  if (fs::IsRefusal(error))
    return path + (russian ? QStringLiteral(" не удалён: ") : QStringLiteral(" was not removed: ")) +
           RefusalText(error, russian);
  // The described text, in one form for both languages.
  return path + QStringLiteral(" не удалён, ошибка = ") + QString::number(error);
}

namespace {

// An error in words: the program's refusals in the language, the system's
// own texts as the system gives them.
QString ReasonText(int error, bool russian) {
  return fs::IsRefusal(error) ? RefusalText(error, russian) : fs::ErrorText(error);
}

}  // namespace

QString RefusedPathsMessage(const std::vector<RefusedPath>& paths, bool russian) {
  QString roots, protect;
  for (const RefusedPath& p : paths)
    (p.protectedFolder ? protect : roots) +=
        QLatin1Char('\n') + p.path + QStringLiteral(": ") + ReasonText(p.error, russian);
  QString text;
  if (!roots.isEmpty())
    text += (russian ? QStringLiteral("Эти папки не просмотрены, путь к ним небезопасен:")
                     : QStringLiteral("These folders were not scanned, the path to them is not safe:")) +
            roots;
  if (!protect.isEmpty())
    text += (text.isEmpty() ? QString() : QStringLiteral("\n\n")) +
            (russian ? QStringLiteral("Путь к папке, файлы которой не отмечаются, небезопасен, поэтому ничего не "
                                      "отмечено:")
                     : QStringLiteral("The path to the folder whose files are not marked is not safe, so nothing was "
                                      "marked:")) +
            protect;
  return text;
}

QString DestinationFailedMessage(const QString& path, int error, bool russian) {
  return (russian ? QStringLiteral("Папку назначения нельзя использовать, ничего не перемещено: ")
                  : QStringLiteral("The destination folder cannot be used, nothing was moved: ")) +
         path + QStringLiteral(": ") + ReasonText(error, russian);
}
