// The process-wide pool of worker threads on which batches run, and the loop
// that cuts a batch into runs. Nothing here touches Python: the binding hands
// in its signal check, map and conversion as callables, so the pool builds
// and is tested without an interpreter (also under ThreadSanitizer).
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace vorlane::py::batch_pool {

// Queries mapped between two interrupt checks, and so the most answers held
// before they are converted.
inline constexpr size_t kRunSize = 1024;

// A fixed set of worker threads running indexed parallel maps.
class Pool {
  struct Job;

 public:
  class Pending;

  // Starts exactly `threads` workers (at least 1). Null when a thread cannot
  // be started; the workers already started are then stopped and joined.
  static std::shared_ptr<Pool> start(size_t threads);

  // Stops and joins the workers; no map may be running.
  ~Pool();
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  size_t thread_count() const { return workers_.size(); }

  // Runs task(i) for every i in [0, count) on the workers; the caller only
  // waits. Callable from any thread that is not a worker of this pool, by
  // several callers at once. When a task throws, the tasks not yet started
  // are skipped and, once every started task has finished, the first
  // exception is rethrown here; the pool stays usable.
  template <typename Task>
  void map(size_t count, Task&& task);

 private:
  Pool() = default;

  void enqueue(Job& job);
  void wait(Job& job);
  void work();
  void run_tasks(Job& job);
  void unlink(Job& job);
  void stop_and_join();

  std::mutex mutex_;
  std::condition_variable wake_;
  Job* oldest_ = nullptr;  // queue of jobs with indexes left to claim, oldest first
  Job* newest_ = nullptr;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

struct Pool::Job {
  Job(void (*call_in)(void*, size_t), void* fn_in, size_t count_in)
      : call(call_in), fn(fn_in), count(count_in) {}

  void (*call)(void*, size_t);
  void* fn;
  size_t count;
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  // The fields below are guarded by the pool's mutex.
  std::exception_ptr error;  // the first failure
  size_t workers = 0;        // workers inside run_tasks
  bool queued = false;
  Job* newer = nullptr;
  std::condition_variable finished;
};

// A map handed to the workers, which its caller may overlap with work of
// its own until wait(). It neither moves nor copies: workers hold its
// address until it has finished. `task` must outlive it.
class Pool::Pending {
 public:
  template <typename Task>
  Pending(Pool& pool, size_t count, Task& task)
      : pool_(pool),
        job_([](void* fn, size_t i) { (*static_cast<Task*>(fn))(i); },
             const_cast<void*>(static_cast<const void*>(&task)), count) {
    pool_.enqueue(job_);
  }
  // Waits when wait() was not called; a failure is then dropped.
  ~Pending();
  Pending(const Pending&) = delete;
  Pending& operator=(const Pending&) = delete;

  // Returns once every started task has finished; rethrows the first
  // failure of a task.
  void wait();

 private:
  Pool& pool_;
  Job job_;
  bool waited_ = false;
};

template <typename Task>
void Pool::map(size_t count, Task&& task) {
  Pending(*this, count, task).wait();
}

// The number of workers for a new pool. `env` is VORLANE_THREADS (null when
// unset): an optional "+" and ASCII digits only, within 64 bits, 0 counting
// as 1. Otherwise `online_processors` less two, at least 1; 2 when that
// count is 0 or an error (negative).
size_t thread_count(const char* env, long online_processors);

// Runs `count` items in consecutive runs of at most kRunSize, converting
// each run while the next one is mapped, so at most two runs are held.
// Before each run, `check()`; when it fails the loop stops and returns
// false. `start_run(first, m)` starts mapping a run, `finish_run()` waits
// for it; `convert_run(first, m)` converts a finished run, and when it fails
// the loop stops (once the run being mapped has finished) and returns false.
// No check follows the last run.
template <typename Check, typename StartRun, typename FinishRun, typename ConvertRun>
bool run_in_runs(size_t count, Check&& check, StartRun&& start_run, FinishRun&& finish_run,
                 ConvertRun&& convert_run) {
  size_t first = 0;
  size_t unconverted = 0;  // the items of the last mapped run
  while (first < count) {
    const size_t m = std::min(count - first, kRunSize);
    if (!check()) return false;
    start_run(first, m);
    const bool converted = unconverted == 0 || convert_run(first - unconverted, unconverted);
    finish_run();
    if (!converted) return false;
    first += m;
    unconverted = m;
  }
  return unconverted == 0 || convert_run(first - unconverted, unconverted);
}

// The process's pool: absent until the first batch; rebuilt in a forked
// child, whose copy of the parent's pool has no threads.
struct PoolSlot {
  std::mutex mutex;
  std::optional<std::pair<pid_t, std::shared_ptr<Pool>>> stored;  // (builder's pid, pool)
};

// Never destroyed: worker threads may still be running queries while the
// process runs its static destructors at exit.
extern PoolSlot& POOL;

// A reference to this process's pool, building it (thread_count over the
// environment and the online processors; one thread when that many cannot
// be started) on the first call in this process. Null when not even one
// thread can be started; the stored pool is then left as it was.
std::shared_ptr<Pool> acquire();

}  // namespace vorlane::py::batch_pool
