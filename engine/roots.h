// Turning the folders text into the list of folders a scan walks.
#pragma once

#include <QString>
#include <QStringList>

// The folders text is either one folder with no ';' or a list in which every
// folder is followed by ';' (a list typed by hand may lack the last one).
// Returns the roots in order, leaving out every entry that names the same
// folder as an earlier one or lies inside another entry, by whole path
// components ("/a" holds "/a/b", not "/ab").
QStringList BuildRootList(const QString& foldersText);

// The roots as absolute folder paths without links, ending with the
// separator, so that every row of a scan names a path later commands can
// act on from anywhere. Roots that name no folder (or whose path holds a
// line break, which the list file cannot keep) are left out, and so is a
// root that turns out to be the same folder as another, or to lie inside it.
QStringList ResolveRoots(const QStringList& roots);
