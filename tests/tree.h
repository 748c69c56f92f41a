// Helpers shared by the logic tests: a ScanHost that records everything a
// scan shows, and rows made from paths.
#pragma once

#include "engine/scan.h"
#include "results/model.h"
#include "support/tree.h"

#include <functional>

// Records every call and event as "kind:value"; answers from its fields.
// The events: searching, found:NAME, comparing:COUNT, step:POSITION (a step
// before a record: step:POSITION@RUNFIRST), nothing, complete, cancelled,
// failed:WORDS; the questions: ask:replace, ask:stop.
class Host : public ScanHost {
 public:
  explicit Host(const QString& foldersText = {}) : folders(foldersText) {}
  QString folders, maskText = QStringLiteral("*.*"), protect;
  bool small = false, empty = false, fast = true, yes = true, ok = true;
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
  int reads = kReadsInFlight;
  int readsInFlight() const override { return reads; }
  int resultRowCount() override { return model.count(); }
  void clearResults() override { add("clear"), model.clear(); }
  void appendSeparator() override { model.appendSeparator(); }
  void appendFileRow(const FoundFile& r) override { model.appendFileRow(r); }
  QString protectedFolder() override { return protect; }
  void markAllButFirst(const ProtectedFolder& p) override { add("markAll"), model.MarkAllButFirst(p); }
  void refused(const std::vector<RefusedPath>& paths) override {
    for (const RefusedPath& p : paths) add("refused", p.path + ": " + fs::ErrorText(p.error));
  }
  bool ask(ScanQuestion q) override {
    if (q == ScanQuestion::ReplaceList) return add("ask", "replace"), yes;
    return add("ask", "stop"), ok;
  }
  void browseFolders() override { add("browse"); }
  void pump() override { ++pumps, onPump ? onPump() : void(); }
  void report(const ScanEvent& e) override {
    using K = ScanEvent::Kind;
    switch (e.kind) {
      case K::Searching:
        return add("searching");
      case K::FileFound:
        return add("found", e.name);
      case K::Comparing:
        return add("comparing", QString::number(e.count));
      case K::Step:
        return add("step", QString::number(e.position) + (e.runFirst >= 0 ? '@' + QString::number(e.runFirst) : ""));
      case K::NothingFound:
        return add("nothing");
      case K::Complete:
        return add("complete");
      case K::Cancelled:
        return add("cancelled");
      case K::Failed:
        return add("failed", e.failure == ScanEvent::Failure::OutOfMemory ? "memory" : e.name);
    }
  }

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
