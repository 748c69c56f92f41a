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
