// Helpers shared by the tests: folder trees in a temporary directory and a
// ScanHost that records everything a scan shows.
#pragma once

#include "engine/scan.h"
#include "results/model.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

// Failure messages show texts as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// The last-write time of every file a test writes.
inline constexpr qint64 kMtime = 1700000000;

class Tree {
 public:
  // The files name → content, folders created as needed.
  Tree(std::initializer_list<std::pair<const char*, const char*>> files = {}) {
    EXPECT_TRUE(dir_.isValid());
    for (const auto& [name, content] : files) file(name, content);
  }
  explicit Tree(const QString& templatePath) : dir_(templatePath) {}
  bool valid() const { return dir_.isValid(); }
  QString root() const { return dir_.path() + QLatin1Char('/'); }
  QString operator()(const QString& rel) const { return root() + rel; }
  QString rel(const QString& path) const { return path.startsWith(root()) ? path.mid(root().size()) : path; }
  QString folder(const QString& rel) const { return QDir().mkpath(root() + rel), root() + rel; }
  QString file(const QString& rel, const QByteArray& bytes) const { return write(rel, bytes.size(), bytes, -1); }
  // `size` zero bytes (sparse), with the byte 1 at offset `at` when at >= 0.
  QString sized(const QString& rel, qint64 size, qint64 at = -1) const { return write(rel, size, {}, at); }
  void link(const QString& target, const QString& rel) const { EXPECT_TRUE(QFile::link(target, root() + rel)); }

 private:
  QString write(const QString& rel, qint64 size, const QByteArray& bytes, qint64 at) const {
    const QString path = root() + rel;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(path);
    f.write(bytes);
    f.resize(size);
    if (at >= 0) f.seek(at), f.write("\1", 1);
    f.flush();
    f.setFileTime(QDateTime::fromSecsSinceEpoch(kMtime), QFileDevice::FileModificationTime);
    return path;
  }
  QTemporaryDir dir_;
};

// Records every call as "kind:value"; answers from its fields.
class Host : public ScanHost {
 public:
  explicit Host(const QString& foldersText = {}) : folders(foldersText) {}
  QString folders, maskText = QStringLiteral("*.*"), protect;
  bool small = false, empty = false, fast = true, en = true, yes = true, ok = true;
  ResultModel model;
  QStringList log;
  int pumps = 0;
  std::function<void()> onPump;

  QString foldersText() override { return folders; }
  QString mask() override { return maskText; }
  void setMask(const QString& m) override { maskText = m, add("mask", m); }
  bool skipSmall() override { return small; }
  bool skipEmpty() override { return empty; }
  bool fastCompare() override { return fast; }
  bool english() override { return en; }
  int resultRowCount() override { return model.count(); }
  void clearResults() override { add("clear"), model.clear(); }
  void appendSeparator() override { model.appendSeparator(); }
  void appendFileRow(const CandidateRecord& r) override { model.appendFileRow(r); }
  void markAllButFirst() override { add("markAll"), model.MarkAllButFirst(protect); }
  bool askYesNo(const QString& t, const QString& x) override { return add("ask", t + '|' + x), yes; }
  bool askOkCancel(const QString& t, const QString& x) override { return add("ask", t + '|' + x), ok; }
  void browseFolders() override { add("browse"); }
  void pump() override { ++pumps, onPump ? onPump() : void(); }
  void setStatus(const QString& s) override { add("status", s); }
  void setDetail(const QString& d) override { add("detail", d); }
  void setProgress(int p) override { add("progress", QString::number(p)); }
  void setTitle(const QString& t) override { add("title", t); }
  void setTotals(const QString& space, const QString& count) override { add("totals", space + ' ' + count); }
  void showCancel(bool on) override { add("cancel", on ? "1" : "0"); }
  void beep() override { add("beep"); }

  void add(const char* kind, const QString& value = {}) { log << QLatin1String(kind) + ':' + value; }
  // The values of every entry of one kind, in order, joined by ','; and their number.
  QStringList list(const char* kind) const {
    QStringList out;
    for (const QString& e : log)
      if (e.startsWith(QLatin1String(kind) + ':')) out << e.mid(int(strlen(kind)) + 1);
    return out;
  }
  QString values(const char* kind) const { return list(kind).join(','); }
  qsizetype count(const char* kind) const { return list(kind).size(); }
  // The rows as paths relative to `t`, "|" for a separator, '+' after a marked row.
  QString rows(const Tree& t) const {
    QStringList out;
    for (int i = 0; i < model.count(); ++i) {
      const ResultRow& r = model.row(i);
      out << (r.isSeparator() ? QStringLiteral("|") : t.rel(r.path) + (r.marked ? "+" : ""));
    }
    return out.join(' ');
  }
};

// Appends a row for each path, "|" for a separator; a path after '+' is
// marked. Captions play no part: every command uses the path.
inline void Fill(ResultModel& model, const QStringList& paths, const QString& size = QStringLiteral("1")) {
  std::vector<ResultRow> rows;
  for (const QString& p : paths) {
    ResultRow r;
    r.hasSubItems = p != "|";
    r.marked = p.startsWith('+');
    r.path = r.hasSubItems ? p.mid(r.marked ? 1 : 0) : QString();
    r.caption = r.hasSubItems ? QStringLiteral("c") : QString();
    r.sizeText = size;
    rows.push_back(r);
  }
  model.appendRows(std::move(rows));
}

// The marks of the rows, '1' for a marked row.
inline QString Marks(const ResultModel& model) {
  QString out;
  for (int i = 0; i < model.count(); ++i) out += model.row(i).marked ? '1' : '0';
  return out;
}
