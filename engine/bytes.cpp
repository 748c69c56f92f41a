#include "engine/bytes.h"

#include <algorithm>
#include <cstring>
#include <vector>

bool SameBytes(const fs::ReadFile& a, const fs::ReadFile& b, qint64 offset, qint64 length, const ChunkRead& chunkRead,
               qint64 chunk) {
  if (length <= 0) return true;
  const size_t most = static_cast<size_t>(std::min(length, std::max<qint64>(chunk, 1)));
  std::vector<char> x(most), y(most);
  for (qint64 done = 0; done < length;) {
    const qint64 at = offset + done;
    qint64 part = std::min<qint64>(length - done, static_cast<qint64>(most));
    if (at < kProbe) part = std::min(part, kProbe - at);
    if (!a.readAt(at, x.data(), part) || !b.readAt(at, y.data(), part)) return false;
    if (chunkRead && !chunkRead(part)) return false;
    if (std::memcmp(x.data(), y.data(), static_cast<size_t>(part)) != 0) return false;
    done += part;
  }
  return true;
}
