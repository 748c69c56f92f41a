// A small pool of reader threads that take the first bytes of files before
// the comparison needs them, so that several reads are in flight at once
// where the pass alone would wait for each in turn. Each reader takes a
// batch of files at a time, opens them, and reads them together
// (fs::BatchRead): the disk gets the whole batch at once.
//
// A job names a file by the path the pass resolved for it: the readers touch
// nothing but their jobs and the file system, never the candidate list, the
// host or the content cache, which may change under a pump (a new scan may
// begin there). Each file is opened the checked way (fs::ReadFile::open:
// no link in any component, no wait on a FIFO, the regular file of the
// walked size), read, hashed and closed; what is kept is its look, never
// its bytes. A look depends on its own file alone, so what the pass makes
// of the looks cannot depend on the order they were taken in.
//
// A reader may also preload a file: ask the system to read a stretch of it
// into its cache, which the pass will soon read and compare itself. Nothing
// comes back from a preload; it only lets the disk work on the next files
// while the pass reads the ones before them.
#pragma once

#include "engine/runtoken.h"
#include "platform/fs.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

class ReadAhead {
 public:
  struct Job {
    int record = -1;
    QString path;
    qint64 size = 0;    // the walked size the file must still have
    qint64 length = 0;  // bytes read from its start (preloaded: from `offset`)
    std::uint64_t inode = 0;
    qint64 offset = 0;
  };
  // What a reader found of one file.
  struct Look {
    int record = -1;
    bool tried = false;  // false: the reader could not try (the pass reads it itself)
    int openError = 0;   // 0: opened; else as fs::ReadFile::open gives it
    bool stamped = false;
    fs::FileStamp stamp;              // what the descriptor said when opened
    bool read = false;                // the `length` bytes were read
    bool cached = false;              // ... all from the system's cache
    int readError = 0;                // errno of a failed read; 0: the file was shorter
    std::uint64_t high = 0, low = 0;  // XXH3 128 of the bytes read
  };

  // Readers at most, whatever the reads in flight.
  static constexpr int kMostReaders = 8;

  // Starts up to `threads` readers (fewer where the system refuses one)
  // for the run `run`, each reading up to `batch` files at once: once the
  // run no longer runs (stopped, or a new scan took over inside a pump),
  // they take no more jobs.
  ReadAhead(int threads, RunToken run, int batch = 1);
  // Readers for `wanted` reads in flight, as many as the files the program
  // may hold open allow; none when fewer than two reads would be.
  static std::unique_ptr<ReadAhead> Start(int wanted, RunToken run);
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  // Stops taking jobs and joins every reader: none outlives the pool.
  ~ReadAhead();

  int readers() const { return static_cast<int>(threads_.size()); }
  // Queues `jobs`, taken in the order given.
  void add(std::vector<Job> jobs);
  // Queues files to preload, in the order given; half the readers take
  // them before any look.
  void preload(std::vector<Job> jobs);
  // The looks of `records` into `out`, left in place, when all are there;
  // else false, the first record missing in `missing`.
  bool peek(const std::vector<int>& records, std::vector<Look>& out, int& missing);
  // The look of `record` once it is there, waiting for it up to `wait`.
  std::optional<Look> take(int record, std::chrono::milliseconds wait);
  // Forgets every job and look of a record before `record`.
  void dropBefore(int record);
  // Readers running in this process now, and ever started: a pool that was
  // stopped leaves none running.
  static int Running() { return running_.load(); }
  static int Started() { return started_.load(); }
  // Files asked to be preloaded in this process.
  static int Preloads() { return preloadsAsked_.load(); }

 private:
  void work(bool preloadsFirst);
  // Takes up to batch_ looks from the queue and reads them; `lock` holds
  // the mutex, and is let go while the files are read.
  void readBatch(std::unique_lock<std::mutex>& lock, fs::BatchRead& reads, std::vector<char>& buffer);
  // The looks of `jobs`, read together.
  static void Read(const std::vector<Job>& jobs, std::vector<Look>& looks, fs::BatchRead& reads,
                   std::vector<char>& buffer);
  static void Preload(const Job& job);

  const RunToken run_;
  const int batch_;
  std::mutex mutex_;
  std::condition_variable jobsWaiting_, lookDone_;
  std::deque<Job> jobs_;
  std::deque<Job> preloads_;
  std::unordered_map<int, Look> looks_;
  int floor_ = 0;        // looks of records before this one are not kept
  int waitingFor_ = -1;  // the record the pass waits for, or -1
  bool stopping_ = false;
  std::vector<std::thread> threads_;
  static std::atomic<int> running_, started_, preloadsAsked_;
};
