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

ReadAhead::ReadAhead(int threads, RunToken run, int batch) : run_(std::move(run)), batch_(std::max(batch, 1)) {
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

std::unique_ptr<ReadAhead> ReadAhead::Start(int wanted, RunToken run) {
  // A file being read is held open: a sixteenth of the files the program
  // may hold open leaves the comparison its share.
  const int inFlight = static_cast<int>(std::min<qint64>(wanted, fs::OpenFileLimit() / 16));
  const int threads = std::min(inFlight, kMostReaders);
  if (threads < 2) return nullptr;
  auto readers = std::make_unique<ReadAhead>(threads, std::move(run), inFlight / threads);
  if (readers->readers() == 0) return nullptr;
  return readers;
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
  fs::BatchRead reads(static_cast<unsigned>(batch_));
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
    readBatch(lock, reads, buffer);
  }
  lock.unlock();
  --running_;
}

void ReadAhead::readBatch(std::unique_lock<std::mutex>& lock, fs::BatchRead& reads, std::vector<char>& buffer) {
  std::vector<Job> batch;
  for (; !jobs_.empty() && batch.size() < static_cast<size_t>(batch_); jobs_.pop_front())
    batch.push_back(std::move(jobs_.front()));
  lock.unlock();
  std::vector<Look> looks;
  try {
    Read(batch, looks, reads, buffer);
  } catch (...) {  // out of memory, say: the pass reads the files itself
    looks.assign(batch.size(), Look{});
    for (size_t i = 0; i < batch.size(); ++i) looks[i].record = batch[i].record;
  }
  lock.lock();
  for (const Look& look : looks) {
    if (look.record < floor_) continue;
    looks_.insert_or_assign(look.record, look);
    if (waitingFor_ == look.record) lookDone_.notify_one();
  }
}

void ReadAhead::Read(const std::vector<Job>& jobs, std::vector<Look>& looks, fs::BatchRead& reads,
                     std::vector<char>& buffer) {
  looks.assign(jobs.size(), Look{});
  std::vector<fs::ReadFile> files(jobs.size());
  qint64 total = 0;
  for (const Job& job : jobs) total += job.length;
  buffer.resize(static_cast<size_t>(std::max<qint64>(total, 1)));
  std::vector<fs::BatchRead::Item> items;
  std::vector<size_t> itemOf;  // the job of each item
  qint64 at = 0;
  for (size_t i = 0; i < jobs.size(); ++i) {
    Look& look = looks[i];
    look.record = jobs[i].record;
    look.tried = true;
    if (!files[i].open(jobs[i].path, jobs[i].size, &look.openError)) continue;
    look.openError = 0;
    look.stamped = files[i].stamp(&look.stamp);
    items.push_back({&files[i], buffer.data() + at, jobs[i].length});
    itemOf.push_back(i);
    at += jobs[i].length;
  }
  reads.read(items);
  for (size_t k = 0; k < items.size(); ++k) {
    const fs::BatchRead::Item& item = items[k];
    Look& look = looks[itemOf[k]];
    look.cached = item.cached;
    look.readError = item.error;
    if (!item.read) continue;
    look.read = true;
    const XXH128_hash_t d = XXH3_128bits(item.buffer, static_cast<size_t>(item.length));
    look.high = d.high64, look.low = d.low64;
  }
}

void ReadAhead::Preload(const Job& job) {
  fs::ReadFile file;
  // Holes are never read by the pass: a file that may have some is left.
  if (!file.open(job.path, job.size) || file.mayHaveHoles()) return;
  file.preload(job.offset, job.length);
}
