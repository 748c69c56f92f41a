// Turning the folders text into the list of folders a scan walks.
#pragma once

#include <QString>
#include <QStringList>

// The folders text is either one folder with no ';' or a list in which every
// folder is followed by ';' (a list typed by hand may lack the last one).
// Returns the roots in order, leaving out every entry that contains the text
// of another entry (nested folders and repeats).
QStringList BuildRootList(const QString& foldersText);
