// Byte-for-byte comparison of two open files, shared by the scan's proof of
// a group and by processing's check that a copy is still left.
#pragma once

#include "platform/fs.h"

#include <QtGlobal>

#include <functional>

// A read that starts below this offset ends at it: two files that differ on
// their first page cost no long read.
inline constexpr qint64 kProbe = 4096;

// Called after each chunk has been read from both files, with the number of
// bytes read from each; returning false stops the comparison.
using ChunkRead = std::function<bool(qint64 bytes)>;

// Whether `a` and `b` hold the same `length` bytes from `offset`, read in
// chunks of at most `chunk` bytes through their descriptors. False as soon
// as a chunk differs, a read fails or `chunkRead` says stop. Sizes are not
// looked at: a caller that needs whole, unchanged files checks them.
bool SameBytes(const fs::ReadFile& a, const fs::ReadFile& b, qint64 offset, qint64 length,
               const ChunkRead& chunkRead = {}, qint64 chunk = 1 << 20);
