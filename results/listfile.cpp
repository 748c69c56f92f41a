#include "results/listfile.h"

#include "platform/fs.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <langinfo.h>
#include <locale.h>
#endif

namespace {

const char16_t kWindows1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

QString DecodeWindows1251(const QByteArray& bytes) {
  QString text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const unsigned char b = static_cast<unsigned char>(c);
    text.append(b < 0x80 ? QChar(char16_t(b)) : QChar(kWindows1251[b - 0x80]));
  }
  return text;
}

// Whether the user's locale, as the environment names it, encodes in UTF-8.
// Asked of the environment rather than of the running program, which Qt
// switches to UTF-8 whatever the user chose.
bool LocaleIsUtf8() {
#ifdef Q_OS_UNIX
  const locale_t user = newlocale(LC_CTYPE_MASK, "", locale_t{});
  if (user == locale_t{}) return false;  // an unknown locale: the C one
  const QByteArray codeset(nl_langinfo_l(CODESET, user));
  freelocale(user);
  return codeset.compare("UTF-8", Qt::CaseInsensitive) == 0 || codeset.compare("utf8", Qt::CaseInsensitive) == 0;
#else
  return false;
#endif
}

QString FieldOrEmpty(const QString& field) { return field == QLatin1String(" ") ? QString() : field; }

// A line with more than four ';': size and date are the last two fields and
// the path ends with the caption. Returns false when no single split fits.
bool SplitCrowdedLine(const QString& line, ResultRow& row) {
  const qsizetype firstSep = line.indexOf(QLatin1Char(';'));
  const qsizetype dateSep = line.lastIndexOf(QLatin1Char(';'));
  const qsizetype sizeSep = line.lastIndexOf(QLatin1Char(';'), dateSep - 1);
  const QStringView middle = QStringView(line).mid(firstSep + 1, sizeSep - firstSep - 1);
  // middle is caption;path where the path ends with "/" + caption: the
  // caption is both a beginning and an end of middle (a border of it). Every
  // border is found at once through the prefix function, so a line of a
  // million ';' is split in linear time.
  const qsizetype n = middle.size();
  std::vector<qsizetype> border(static_cast<size_t>(n), 0);
  for (qsizetype i = 1; i < n; ++i) {
    qsizetype k = border[static_cast<size_t>(i - 1)];
    while (k > 0 && middle[i] != middle[k]) k = border[static_cast<size_t>(k - 1)];
    if (middle[i] == middle[k]) ++k;
    border[static_cast<size_t>(i)] = k;
  }
  int fits = 0;
  qsizetype at = 0;
  for (qsizetype p = n > 0 ? border[static_cast<size_t>(n - 1)] : 0; p > 0; p = border[static_cast<size_t>(p - 1)]) {
    // Caption middle[0, p), then ';', then a path of at least "/" + caption.
    if (middle[p] == QLatin1Char(';') && n - p - 1 >= p + 1 && middle[n - p - 1] == fs::kSeparator) {
      ++fits;
      at = p;
    }
  }
  if (fits != 1) return false;
  row.caption = middle.left(at).toString();
  row.path = middle.mid(at + 1).toString();
  row.sizeText = FieldOrEmpty(line.mid(sizeSep + 1, dateSep - sizeSep - 1));
  row.dateText = FieldOrEmpty(line.mid(dateSep + 1));
  return true;
}

}  // namespace

void WriteListFile(const ResultModel& model, const std::function<bool(QByteArrayView)>& put) {
  // Always UTF-8, so no character is lost; a byte-order mark tells it apart
  // where the locale's own encoding is something else. The rows are encoded
  // a batch at a time: the list is never held whole as bytes.
  constexpr qsizetype kBatch = 1 << 16;
  QByteArray bytes;
  bytes.reserve(kBatch + 4096);
  if (model.count() > 0 && !LocaleIsUtf8()) bytes += "\xEF\xBB\xBF";
  for (int i = 0; i < model.count(); ++i) {
    const ResultRow& r = model.row(i);
    if (!r.caption.isEmpty()) {
      bytes += r.marked ? "1;" : "0;";
      for (const QString* field : {&r.caption, &r.path, &r.sizeText}) bytes += field->toUtf8() + ';';
      bytes += r.dateText.toUtf8();
    }
    bytes += "\r\n";
    if (bytes.size() >= kBatch) {
      if (!put(bytes)) return;
      bytes.resize(0);
    }
  }
  if (!bytes.isEmpty()) put(bytes);
}

QByteArray ListFileBytes(const ResultModel& model) {
  QByteArray bytes;
  WriteListFile(model, [&](QByteArrayView piece) {
    bytes += piece;
    return true;
  });
  return bytes;
}

bool SaveListFile(const ResultModel& model, const QString& file, QString* error) {
  int code = 0;
  if (fs::WriteOutput(
          file, [&](const auto& put) { WriteListFile(model, put); }, &code))
    return true;
  if (error) *error = file + QStringLiteral(": ") + fs::ErrorText(code);
  return false;
}

QString DecodeListBytes(const QByteArray& bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
  if (bytes.startsWith("\xFF\xFE")) {
    QStringDecoder decode(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
    return decode(QByteArrayView(bytes).sliced(2));
  }
  if (bytes.startsWith("\xFE\xFF")) {
    QStringDecoder decode(QStringDecoder::Utf16BE, QStringDecoder::Flag::Stateless);
    return decode(QByteArrayView(bytes).sliced(2));
  }
  QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decode(bytes);
  if (decode.hasError()) text = DecodeWindows1251(bytes);
  return text;
}

namespace {

// Calls `line` with every line of `text` (ended by CR LF, a lone CR or a
// lone LF), as a view into the text: no line is copied.
template <class Line>
void ForEachLine(QStringView text, Line line) {
  const qsizetype n = text.size();
  qsizetype start = 0;
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t c = text[i].unicode();
    if (c != u'\r' && c != u'\n') continue;
    line(text.mid(start, i - start));
    if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < n) line(text.mid(start));
}

// The number of rows the text loads as: a line each, a run of empty lines
// one separator row.
qsizetype RowCount(QStringView text) {
  qsizetype rows = 0;
  bool afterEmpty = false;
  ForEachLine(text, [&](QStringView line) {
    if (!line.isEmpty() || !afterEmpty) ++rows;
    afterEmpty = line.isEmpty();
  });
  return rows;
}

// The row of a line that is not empty.
ResultRow RowOf(const QString& line, int* unreadable) {
  ResultRow row;
  row.hasSubItems = true;
  row.marked = RecordField(line, QLatin1Char(';'), 0) == QLatin1String("1");
  // A NUL cannot stand in a name, and a line with more than four ';' holds
  // a ';' in its name or path: what cannot be told apart unambiguously is
  // left unmarked and without a path.
  const bool crowded = line.count(QLatin1Char(';')) > 4;
  if (line.contains(QChar(0)) || (crowded && !SplitCrowdedLine(line, row))) {
    row = ResultRow();
    row.hasSubItems = true;
    row.caption = line.section(QLatin1Char(';'), 1, 1);
    ++*unreadable;
  } else if (!crowded) {
    row.caption = line.section(QLatin1Char(';'), 1, 1);  // as it stands: a file may be named " "
    row.path = RecordField(line, QLatin1Char(';'), 2);
    row.sizeText = RecordField(line, QLatin1Char(';'), 3);
    row.dateText = RecordField(line, QLatin1Char(';'), 4);
  }
  return row;
}

}  // namespace

LoadedList ParseListText(const QString& text) {
  LoadedList out;
  out.rows.reserve(static_cast<size_t>(RowCount(text)));
  bool afterEmpty = false;
  ForEachLine(text, [&](QStringView line) {
    // A run of empty lines is one boundary between groups, whatever its length.
    if (line.isEmpty() && !afterEmpty) out.rows.emplace_back();
    if (!line.isEmpty()) out.rows.push_back(RowOf(line.toString(), &out.unreadable));
    afterEmpty = line.isEmpty();
  });
  return out;
}

bool LoadListFile(const QString& file, LoadedList* out, ListLoadError* error, qint64 largest, qsizetype mostRows) {
  const auto fail = [error](ListLoadError::Kind kind, const QString& reason, qint64 bound) {
    if (error) *error = {kind, reason, bound};
    return false;
  };
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) return fail(ListLoadError::Kind::Unreadable, in.errorString(), 0);
  // Read in pieces up to a bound, so that a device or a pipe that never
  // ends is refused instead of filling the memory.
  QByteArray bytes;
  if (!in.isSequential()) bytes.reserve(std::min(in.size(), largest) + 1);
  for (;;) {
    const QByteArray piece = in.read(1 << 20);
    if (piece.isEmpty()) break;
    bytes += piece;
    if (bytes.size() > largest) return fail(ListLoadError::Kind::TooLarge, QString(), largest);
  }
  if (in.error() != QFileDevice::NoError) return fail(ListLoadError::Kind::Unreadable, in.errorString(), 0);
  const QString text = DecodeListBytes(std::exchange(bytes, QByteArray()));
  if (RowCount(text) > mostRows) return fail(ListLoadError::Kind::TooManyRows, QString(), mostRows);
  *out = ParseListText(text);
  return true;
}
