// The window's messages that are not captions of a control: the texts it
// composes from what the engine reports, in English and in Russian.
#pragma once

#include <QString>

// The message shown when a plain deletion of `path` failed: the described
// text with the system's error code, or, when the program itself refused
// the file, the reason in words.
QString DeleteFailedMessage(const QString& path, int error, bool russian);

// One of the program's refusals (fs::IsRefusal) in words.
QString RefusalText(int error, bool russian);
