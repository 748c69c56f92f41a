#include "engine/readahead.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

std::atomic<int> ReadAhead::running_{0};
std::atomic<int> ReadAhead::started_{0};
std::atomic<int> ReadAhead::preloadsAsked_{0};

ReadAhead::ReadAhead(int threads, RunToken run) : run_(std::move(run)) {
  for (int t = 0; t < threads; ++t) {
    ++running_;  // counted from here, so that none is missed
    try {
      threads_.emplace_back([this, t] { work(t % 2 == 0); });
    } catch (const std::system_error&) {
      --running_;
      break;  // fewer readers; with none the pass reads every file itself
    }
    ++started_;
  }
}

ReadAhead::~ReadAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    jobs_.clear();
    preloads_.clear();
  }
  jobsWaiting_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void ReadAhead::add(std::vector<Job> jobs) {
  if (jobs.empty()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::move(jobs.begin(), jobs.end(), std::back_inserter(jobs_));
  }
  jobsWaiting_.notify_all();
}

void ReadAhead::preload(std::vector<Job> jobs) {
  if (jobs.empty()) return;
  preloadsAsked_ += static_cast<int>(jobs.size());
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::move(jobs.begin(), jobs.end(), std::back_inserter(preloads_));
  }
  jobsWaiting_.notify_all();
}

bool ReadAhead::peek(const std::vector<int>& records, std::vector<Look>& out, int& missing) {
  out.clear();
  const std::lock_guard<std::mutex> lock(mutex_);
  // The record missing last time is likely missing still.
  if (missing >= 0 && std::binary_search(records.begin(), records.end(), missing) && !looks_.contains(missing))
    return false;
  for (const int record : records) {
    const auto found = looks_.find(record);
    if (found == looks_.end()) return missing = record, false;
    out.push_back(found->second);
  }
  return true;
}

std::optional<ReadAhead::Look> ReadAhead::take(int record, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  // The pass has come to `record`: the files before it it has read.
  while (!preloads_.empty() && preloads_.front().record < record) preloads_.pop_front();
  auto found = looks_.find(record);
  if (found == looks_.end()) {
    waitingFor_ = record;
    lookDone_.wait_for(lock, wait, [&] { return (found = looks_.find(record)) != looks_.end(); });
    waitingFor_ = -1;
    if (found == looks_.end()) return std::nullopt;
  }
  const Look look = found->second;
  looks_.erase(found);
  return look;
}

void ReadAhead::dropBefore(int record) {
  const std::lock_guard<std::mutex> lock(mutex_);
  floor_ = std::max(floor_, record);
  std::erase_if(jobs_, [&](const Job& j) { return j.record < record; });
  std::erase_if(preloads_, [&](const Job& j) { return j.record < record; });
  std::erase_if(looks_, [&](const auto& l) { return l.first < record; });
}

void ReadAhead::work(bool preloadsFirst) {
  std::vector<char> buffer;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    jobsWaiting_.wait(lock, [&] { return stopping_ || !jobs_.empty() || !preloads_.empty(); });
    if (stopping_) break;
    if (!run_.running()) {  // the pass ends at its next pump: its jobs are dropped
      jobs_.clear();
      preloads_.clear();
      continue;
    }
    if (!preloads_.empty() && (preloadsFirst || jobs_.empty())) {
      const Job job = std::move(preloads_.front());
      preloads_.pop_front();
      lock.unlock();
      try {
        Preload(job);
      } catch (...) {  // out of memory, say: the pass reads the file cold
      }
      lock.lock();
      continue;
    }
    const Job job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    Look look;
    try {
      look = Read(job, buffer);
    } catch (...) {  // out of memory, say: the pass reads the file itself
      look = Look{};
      look.record = job.record;
    }
    lock.lock();
    if (job.record < floor_) continue;
    looks_.insert_or_assign(job.record, look);
    if (waitingFor_ == job.record) lookDone_.notify_one();
  }
  lock.unlock();
  --running_;
}

ReadAhead::Look ReadAhead::Read(const Job& job, std::vector<char>& buffer) {
  Look look;
  look.record = job.record;
  look.tried = true;
  fs::ReadFile file;
  if (!file.open(job.path, job.size, &look.openError)) return look;
  look.openError = 0;
  look.stamped = file.stamp(&look.stamp);
  buffer.resize(static_cast<size_t>(std::max<qint64>(job.length, 1)));
  look.cached = file.readCachedAt(0, buffer.data(), job.length);
  if (!look.cached && !file.readAt(0, buffer.data(), job.length)) {
    look.readError = errno;
    return look;
  }
  look.read = true;
  const XXH128_hash_t d = XXH3_128bits(buffer.data(), static_cast<size_t>(job.length));
  look.high = d.high64, look.low = d.low64;
  return look;
}

void ReadAhead::Preload(const Job& job) {
  fs::ReadFile file;
  // Holes are never read by the pass: a file that may have some is left.
  if (!file.open(job.path, job.size) || file.mayHaveHoles()) return;
  file.preload(job.offset, job.length);
}
