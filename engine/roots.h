// Turning the folders text into the list of folders a scan walks.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The folders text is either one folder with no ';' or a list in which every
// folder is followed by ';' (a list typed by hand may lack the last one).
// Returns the roots in order, leaving out every entry that names the same
// folder as an earlier one or lies inside another entry, by whole path
// components ("/a" holds "/a/b", not "/ab").
QStringList BuildRootList(const QString& foldersText);

// The entries of the folders text in order, before nested folders are left
// out: what the scan resolves, so that a root named through a link or with
// ".." is judged by the folder it really names.
QStringList SplitFoldersText(const QString& foldersText);
// The folders text of a list of folders, as SplitFoldersText reads it: one
// folder as it is, several each followed by ';'.
QString JoinFoldersText(const QStringList& folders);

// A path that the scan refused at its start, and why (fs's refusal code).
struct RefusedPath {
  QString path;
  int error = 0;
  bool protectedFolder = false;  // the protected folder: nothing is marked
};

// The roots as absolute folder paths without links, ending with the
// separator, so that every row of a scan names a path later commands can
// act on from anywhere. Roots that name no folder (or whose path holds a
// line break, which the list file cannot keep) are left out, and so is a
// root that turns out to be the same folder as another, or to lie inside it.
// A root refused by the path rules is left out and added to *refused.
QStringList ResolveRoots(const QStringList& roots, std::vector<RefusedPath>* refused = nullptr);

// The protected folder: its text as typed and, when the text names an
// existing folder, that folder's real path (resolved under the path rules;
// a refusal leaves `error` set and the folder unusable).
struct ProtectedFolder {
  QString text;
  QString real;
  int error = 0;
};
ProtectedFolder ResolveProtected(const QString& text);
