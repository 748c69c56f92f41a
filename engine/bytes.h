// Reading two open files for the scan's proof of a group and for
// processing's check that a copy is still left: byte-for-byte comparison,
// and a digest of a whole file's content.
#pragma once

#include "platform/fs.h"

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

// A read that starts below this offset ends at it: two files that differ on
// their first page cost no long read.
inline constexpr qint64 kProbe = 4096;

// Called after each chunk has been read from both files, with the number of
// bytes read from each; returning false stops the comparison.
using ChunkRead = std::function<bool(qint64 bytes)>;

// Whether `a` and `b` hold the same `length` bytes from `offset`, read in
// chunks of at most `chunk` bytes through their descriptors. False as soon
// as a chunk differs, a read fails or `chunkRead` says stop. A stretch where
// both files have a hole holds zeros in both and is not read, so two sparse
// files cost what their data costs, not what their sizes say. Sizes are not
// looked at: a caller that needs whole, unchanged files checks them.
bool SameBytes(const fs::ReadFile& a, const fs::ReadFile& b, qint64 offset, qint64 length,
               const ChunkRead& chunkRead = {}, qint64 chunk = 1 << 20);

// 128 bits of XXH3.
using ContentDigest = std::pair<std::uint64_t, std::uint64_t>;

// A digest of the first `size` bytes of `file` that depends on those bytes
// alone, not on where the file has holes: every 4 KiB block that is not all
// zeros is hashed with its offset, and holes are skipped without reading.
// Two files of one size with equal digests are very likely equal (a caller
// still compares them byte for byte); unequal digests prove them different.
// Nothing when a read fails (errno: why; 0 when the file was shorter) or
// `chunkRead` says stop.
std::optional<ContentDigest> DigestOfContent(const fs::ReadFile& file, qint64 size, const ChunkRead& chunkRead = {});
// The same for the `length` bytes from `offset`: blocks lie at multiples of
// 4 KiB from the file's start, the first and the last one possibly cut
// short by the range.
std::optional<ContentDigest> DigestOfRange(const fs::ReadFile& file, qint64 offset, qint64 length,
                                           const ChunkRead& chunkRead = {});
