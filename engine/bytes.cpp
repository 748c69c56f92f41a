#include "engine/bytes.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr qint64 kBlock = 4096;  // the unit of the content digest, and of holes

}  // namespace

bool SameBytes(const fs::ReadFile& a, const fs::ReadFile& b, qint64 offset, qint64 length, const ChunkRead& chunkRead,
               qint64 chunk) {
  if (length <= 0) return true;
  const size_t most = static_cast<size_t>(std::min(length, std::max<qint64>(chunk, 1)));
  std::vector<char> x(most), y(most);
  const bool holes = a.mayHaveHoles() && b.mayHaveHoles();
  for (qint64 done = 0; done < length;) {
    const qint64 at = offset + done;
    if (holes) {
      // Up to the next data of either file, both read as zeros.
      const qint64 data = std::min(a.dataFrom(at), b.dataFrom(at));
      if (data > at) {
        done = std::min(length, data - offset);
        continue;
      }
    }
    qint64 part = std::min<qint64>(length - done, static_cast<qint64>(most));
    if (at < kProbe) part = std::min(part, kProbe - at);
    if (!a.readAt(at, x.data(), part) || !b.readAt(at, y.data(), part)) return false;
    if (chunkRead && !chunkRead(part)) return false;
    if (std::memcmp(x.data(), y.data(), static_cast<size_t>(part)) != 0) return false;
    done += part;
  }
  return true;
}

std::optional<ContentDigest> DigestOfContent(const fs::ReadFile& file, qint64 size, const ChunkRead& chunkRead) {
  return DigestOfRange(file, 0, size, chunkRead);
}

std::optional<ContentDigest> DigestOfRange(const fs::ReadFile& file, qint64 offset, qint64 length,
                                           const ChunkRead& chunkRead) {
  static const char zeros[kBlock] = {};
  constexpr qint64 kChunk = 256 * kBlock;
  const qint64 end = offset + std::max<qint64>(length, 0);
  std::vector<char> buffer(static_cast<size_t>(std::clamp<qint64>(end - offset, 1, kChunk)));
  const std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), XXH3_freeState);
  XXH3_128bits_reset(state.get());
  const bool holes = file.mayHaveHoles();
  for (qint64 at = offset; at < end;) {
    if (holes) {
      // A hole holds zero blocks, which add nothing to the digest.
      const qint64 data = file.dataFrom(at) / kBlock * kBlock;
      if (data > at) {
        at = std::min(data, end);
        continue;
      }
    }
    // Reads end at multiples of the chunk, so blocks never straddle two.
    const qint64 part = std::min(end, (at / kChunk + 1) * kChunk) - at;
    if (!file.readAt(at, buffer.data(), part)) return std::nullopt;
    if (chunkRead && !chunkRead(part)) return std::nullopt;
    for (qint64 where = at; where < at + part;) {
      const qint64 next = std::min(at + part, (where / kBlock + 1) * kBlock);
      const size_t bytes = static_cast<size_t>(next - where);
      const char* data = buffer.data() + (where - at);
      if (std::memcmp(data, zeros, bytes) != 0) {
        XXH3_128bits_update(state.get(), &where, sizeof where);
        XXH3_128bits_update(state.get(), data, bytes);
      }
      where = next;
    }
    at += part;
  }
  const XXH128_hash_t d = XXH3_128bits_digest(state.get());
  return ContentDigest{d.high64, d.low64};
}
