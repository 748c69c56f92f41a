// What every test shares: texts shown as text in failure messages, and
// folder trees in a fresh temporary directory.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

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
  QString root() const { return dir_.path(); }  // no trailing separator
  QString operator()(const QString& rel) const { return root() + QLatin1Char('/') + rel; }
  QString rel(const QString& path) const { return path.startsWith((*this)({})) ? path.mid(root().size() + 1) : path; }
  QString folder(const QString& rel) const { return QDir().mkpath((*this)(rel)), (*this)(rel); }
  QString file(const QString& rel, const QByteArray& bytes) const { return write(rel, bytes.size(), bytes, -1); }
  // `size` zero bytes (sparse), with the byte 1 at offset `at` when at >= 0.
  QString sized(const QString& rel, qint64 size, qint64 at = -1) const { return write(rel, size, {}, at); }
  void link(const QString& target, const QString& rel) const { EXPECT_TRUE(QFile::link(target, (*this)(rel))); }
  QByteArray read(const QString& rel) const {
    QFile f((*this)(rel));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  bool exists(const QString& rel) const { return QFileInfo::exists((*this)(rel)); }

 private:
  QString write(const QString& rel, qint64 size, const QByteArray& bytes, qint64 at) const {
    const QString path = (*this)(rel);
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
