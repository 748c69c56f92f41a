// Reading the first bytes of many files at once through io_uring.
#include "platform/fs.h"

#include <liburing.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <numeric>

namespace fs {

struct BatchRead::Ring {
  io_uring ring{};
  unsigned depth = 0;
};

BatchRead::BatchRead(unsigned depth) {
  if (depth < 2) return;
  auto ring = std::make_unique<Ring>();
  // Where the system refuses a ring (too old, or io_uring turned off),
  // the files are read one after another.
  if (io_uring_queue_init(depth, &ring->ring, 0) != 0) return;
  ring->depth = depth;
  ring_ = std::move(ring);
}

BatchRead::~BatchRead() {
  if (ring_) io_uring_queue_exit(&ring_->ring);
}

bool BatchRead::submit(std::vector<Item>& items, const std::vector<size_t>& which, int flags,
                       std::vector<int>& results) {
  io_uring* ring = &ring_->ring;
  for (size_t from = 0; from < which.size(); from += ring_->depth) {
    size_t count = 0;  // reads prepared
    for (size_t k = from; k < which.size() && count < ring_->depth; ++k, ++count) {
      Item& item = items[which[k]];
      io_uring_sqe* sqe = io_uring_get_sqe(ring);
      if (!sqe) break;  // the rest are read the usual way
      io_uring_prep_read(sqe, item.file->fd_, item.buffer, static_cast<unsigned>(item.length), 0);
      sqe->rw_flags = flags;
      io_uring_sqe_set_data64(sqe, which[k]);
    }
    size_t submitted = 0;
    bool failed = false;
    while (submitted < count) {
      const int r = io_uring_submit(ring);
      if (r > 0) {
        submitted += static_cast<size_t>(r);
      } else if (r != -EINTR) {
        failed = true;
        break;
      }
    }
    // Every read handed to the system is waited for, whatever happened to
    // the others: its buffer is in use until it completes.
    for (size_t done = 0; done < submitted;) {
      io_uring_cqe* cqe = nullptr;
      const int r = io_uring_wait_cqe(ring, &cqe);
      if (r == -EINTR) continue;
      if (r < 0) {
        failed = true;  // cannot happen with reads in flight; the ring is given up
        break;
      }
      results[io_uring_cqe_get_data64(cqe)] = cqe->res;
      io_uring_cqe_seen(ring, cqe);
      ++done;
    }
    if (failed) {
      io_uring_queue_exit(ring);
      ring_.reset();
      return false;
    }
  }
  return true;
}

void BatchRead::read(std::vector<Item>& items) {
  // What the ring gave each read: bytes, -errno, or -EAGAIN for nothing
  // yet (then Settle reads it the usual way).
  std::vector<int> results(items.size(), -EAGAIN);
  std::vector<size_t> all(items.size());
  std::iota(all.begin(), all.end(), size_t{0});
  // First every read the system's cache can answer, in one go: for the
  // others it starts reading (ahead, as for any read) and says EAGAIN.
  // Then those others, together, waiting for their bytes.
  if (ring_ && submit(items, all, RWF_NOWAIT, results)) {
    std::vector<size_t> cold;
    for (size_t i = 0; i < items.size(); ++i) {
      if (results[i] == items[i].length) {
        items[i].cached = items[i].read = true;
      } else {
        cold.push_back(i);
        results[i] = -EAGAIN;
      }
    }
    if (!cold.empty()) submit(items, cold, 0, results);
  }
  for (size_t i = 0; i < items.size(); ++i)
    if (!items[i].read) Settle(items[i], results[i]);
}

void BatchRead::Settle(Item& item, int got) {
  if (got == item.length) {
    item.read = true;
  } else if (got == 0) {
    item.error = 0;  // shorter than it was
  } else if (got < 0 && got != -EAGAIN && got != -EINTR) {
    item.error = -got;
  } else {
    // Not read through the ring, or only in part: the rest the usual way.
    const qint64 from = std::max(got, 0);
    if (from == 0) item.cached = item.file->readCachedAt(0, item.buffer, item.length);
    item.read = item.cached || item.file->readAt(from, item.buffer + from, item.length - from);
    if (!item.read) item.error = errno;
  }
}

}  // namespace fs
