// The window's messages that are not captions of a control: the texts it
// composes from what the engine reports, in English and in Russian.
#pragma once

#include "engine/roots.h"

#include <QString>

#include <vector>

// The message shown when a plain deletion of `path` failed: the described
// text with the system's error code, or, when the program itself refused
// the file, the reason in words.
QString DeleteFailedMessage(const QString& path, int error, bool russian);

// One of the program's refusals (fs::IsRefusal) in words.
QString RefusalText(int error, bool russian);

// The one message for the roots and the protected folder that a scan
// refused at its start: each path with the reason, and, when the protected
// folder is among them, that nothing was marked.
QString RefusedPathsMessage(const std::vector<RefusedPath>& paths, bool russian);

// The message for a Move destination that could not be opened or made.
QString DestinationFailedMessage(const QString& path, int error, bool russian);
