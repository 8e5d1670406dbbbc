// Workers take jobs from a queue under one mutex and claim the indexes of a
// job with one atomic add each, so a run costs one wake and no lock or
// allocation per item. A job lives on its caller's stack: the caller returns
// only after the job has left the queue and no worker holds it any more.
#include "vorlane/py/batch_pool.h"

#include <unistd.h>

#include <cstdlib>
#include <limits>
#include <new>
#include <system_error>

namespace vorlane::py::batch_pool {

std::shared_ptr<Pool> Pool::start(size_t threads) {
  std::shared_ptr<Pool> pool;
  try {
    pool.reset(new Pool());
    // No reserve: `threads` may come from the environment and be absurd;
    // starting threads fails long before the vector grows large.
    for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i) {
      pool->workers_.emplace_back([p = pool.get()] { p->work(); });
    }
  } catch (const std::system_error&) {
    if (pool) pool->stop_and_join();
    return nullptr;
  } catch (const std::bad_alloc&) {
    if (pool) pool->stop_and_join();
    return nullptr;
  }
  return pool;
}

Pool::~Pool() { stop_and_join(); }

void Pool::stop_and_join() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
  workers_.clear();
}

void Pool::enqueue(Job& job) {
  if (job.count == 0) return;
  {
    std::lock_guard lock(mutex_);
    job.queued = true;
    if (newest_ != nullptr) {
      newest_->newer = &job;
    } else {
      oldest_ = &job;
    }
    newest_ = &job;
  }
  wake_.notify_all();
}

void Pool::wait(Job& job) {
  std::unique_lock lock(mutex_);
  job.finished.wait(lock, [&] { return !job.queued && job.workers == 0; });
  if (job.error) std::rethrow_exception(job.error);
}

Pool::Pending::~Pending() {
  if (waited_) return;
  try {
    pool_.wait(job_);
  } catch (...) {  // the caller is already leaving through another failure
  }
}

void Pool::Pending::wait() {
  waited_ = true;
  pool_.wait(job_);
}

void Pool::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || oldest_ != nullptr; });
    if (stopping_) return;
    Job& job = *oldest_;
    ++job.workers;
    lock.unlock();
    run_tasks(job);
    lock.lock();
    // Every index is claimed (or the job failed): no worker may join it now.
    if (job.queued) unlink(job);
    // Notified under the lock: the caller cannot see the job finished, and
    // destroy it, before this worker has let go of it.
    if (--job.workers == 0) job.finished.notify_one();
  }
}

void Pool::run_tasks(Job& job) {
  while (!job.failed.load(std::memory_order_relaxed)) {
    const size_t i = job.next.fetch_add(1, std::memory_order_relaxed);
    if (i >= job.count) return;
    try {
      job.call(job.fn, i);
    } catch (...) {
      std::lock_guard lock(mutex_);
      if (!job.error) job.error = std::current_exception();
      job.failed.store(true, std::memory_order_relaxed);
      return;
    }
  }
}

void Pool::unlink(Job& job) {
  Job* previous = nullptr;
  for (Job* j = oldest_; j != &job; j = j->newer) previous = j;
  (previous != nullptr ? previous->newer : oldest_) = job.newer;
  if (newest_ == &job) newest_ = previous;
  job.queued = false;
}

namespace {

// Processors left to the rest of the machine, so that it stays responsive.
constexpr long kProcessorsLeftFree = 2;
// The pool's size when the processor count is unknown.
constexpr size_t kFallbackThreads = 2;

std::optional<uint64_t> parse_thread_count(const char* text) {
  if (*text == '+') ++text;
  if (*text == '\0') return std::nullopt;
  uint64_t value = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return std::nullopt;
    if (__builtin_mul_overflow(value, 10, &value) ||
        __builtin_add_overflow(value, static_cast<uint64_t>(*text - '0'), &value)) {
      return std::nullopt;
    }
  }
  return value;
}

}  // namespace

size_t thread_count(const char* env, long online_processors) {
  if (env != nullptr) {
    if (const auto n = parse_thread_count(env)) {
      return static_cast<size_t>(std::max<uint64_t>(*n, 1));
    }
  }
  if (online_processors <= 0) return kFallbackThreads;
  return static_cast<size_t>(std::max(online_processors - kProcessorsLeftFree, 1L));
}

PoolSlot& POOL = *new PoolSlot();

namespace {

// A forked child's copy of the parent's pool: its workers do not exist in
// the child and its mutex may have been copied locked, so it can be neither
// used nor destroyed. It is kept, unreachable to batches, for good.
void abandon(const std::shared_ptr<Pool>& pool) {
  static auto* const abandoned = new std::vector<std::shared_ptr<Pool>>();
  abandoned->push_back(pool);
}

}  // namespace

std::shared_ptr<Pool> acquire() {
  const pid_t pid = getpid();
  std::lock_guard lock(POOL.mutex);
  if (POOL.stored && POOL.stored->first == pid) return POOL.stored->second;
  const size_t threads = thread_count(std::getenv("VORLANE_THREADS"),
                                      sysconf(_SC_NPROCESSORS_ONLN));
  std::shared_ptr<Pool> pool = Pool::start(threads);
  if (!pool && threads != 1) pool = Pool::start(1);
  if (!pool) return nullptr;
  // Kept before it is replaced, so that a failure here leaves it stored.
  if (POOL.stored) abandon(POOL.stored->second);
  POOL.stored.emplace(pid, pool);
  return pool;
}

}  // namespace vorlane::py::batch_pool
