// orderedQueue: jobs done in parallel, their results taken in order.
//
// The calling thread (the writer) hands out jobs one after another; worker
// threads do them, and so does the writer while it would otherwise wait; the
// writer then takes the results in the order it handed the jobs out. At most
// `window` jobs are out (handed out and not yet taken) at any time, so the
// memory their results hold is bounded, and each job's slot is reused.
//
// It knows nothing of what a job is: `Job` is filled by the writer before it
// is handed out, and `run(job, thread)` does it (thread 0 is the writer, 1..
// the workers, so that each can keep scratch memory of its own). `run` must
// not throw: a job records its own failure.
#ifndef TARVIN_ORDEREDQUEUE_H
#define TARVIN_ORDEREDQUEUE_H

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

template <class Job>
class orderedQueue {
 public:
  typedef std::function<void(Job& job, unsigned thread)> runner;

  // `threads` counts the writer: 1 runs every job on the calling thread.
  // A thread that cannot be started leaves its share to the others.
  orderedQueue(unsigned threads, unsigned window, runner run)
      : run_(std::move(run)), window_(window ? window : 1), slots_(new slot[window_]) {
    try {
      for (unsigned t = 1; t < threads; ++t) workers_.emplace_back([this, t] { work(t); });
    } catch (...) {
    }
  }
  ~orderedQueue() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& t : workers_) t.join();
  }
  orderedQueue(const orderedQueue&) = delete;
  orderedQueue& operator=(const orderedQueue&) = delete;

  unsigned threads() const { return static_cast<unsigned>(workers_.size()) + 1; }
  unsigned window() const { return window_; }

  // The jobs out: handed out and not yet taken.
  std::size_t out() const { return handedOut_ - taken_; }
  // Whether another job may be handed out now.
  bool hasRoom() const { return handedOut_ < taken_ + window_; }
  // The job to fill before handing it out (only while hasRoom()).
  Job& next() { return slots_[handedOut_ % window_].job; }
  // Hands out the job filled through next(). A job too small to be worth
  // waking a worker for (`wake` false) is left to whichever thread looks for
  // work next, as a rule the caller when it asks for it.
  void handOut(bool wake = true) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      slots_[handedOut_ % window_].done = false;
      ++handedOut_;
    }
    if (wake) ready_.notify_one();
  }

  // The oldest job out, done (by a worker or, while it waits, by the calling
  // thread); null when no job is out.
  Job* oldest() {
    if (taken_ == handedOut_) return nullptr;
    slot& s = slots_[taken_ % window_];
    std::unique_lock<std::mutex> guard(lock_);
    while (!s.done) {
      if (started_ < handedOut_) {
        runOne(guard, 0);
        continue;
      }
      done_.wait(guard);
    }
    return &s.job;
  }
  // The oldest job is taken: its slot may be filled again.
  void take() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      ++taken_;
    }
  }

  // Drops the jobs out that no thread has started and waits for those that
  // run, so that nothing a job reads is in use any more. The queue is empty
  // afterwards.
  void drain() {
    std::unique_lock<std::mutex> guard(lock_);
    handedOut_ = started_;
    done_.wait(guard, [this] { return running_ == 0; });
    taken_ = started_ = handedOut_;
  }

 private:
  // Each on cache lines of its own: two threads fill neighbouring jobs at
  // once (a worker, and the writer while it would wait), and a job written
  // a few bytes at a time would otherwise pass its line to and fro.
  struct alignas(64) slot {
    Job job;
    bool done = true;
  };

  // Runs the next job not yet started; called with the lock held, which it
  // gives up while the job runs.
  void runOne(std::unique_lock<std::mutex>& guard, unsigned thread) {
    slot& s = slots_[started_++ % window_];
    ++running_;
    guard.unlock();
    run_(s.job, thread);
    guard.lock();
    s.done = true;
    --running_;
    done_.notify_all();
  }

  void work(unsigned thread) {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
      ready_.wait(guard, [this] { return stopping_ || started_ < handedOut_; });
      if (stopping_) return;
      runOne(guard, thread);
    }
  }

  runner run_;
  const unsigned window_;
  std::unique_ptr<slot[]> slots_;
  std::vector<std::thread> workers_;
  std::mutex lock_;
  std::condition_variable ready_;  // a job to start, or stop
  std::condition_variable done_;   // a job done
  // Counts of jobs since the queue was made: handed out, started, taken; and
  // the number running now.
  std::size_t handedOut_ = 0, started_ = 0, taken_ = 0;
  unsigned running_ = 0;
  bool stopping_ = false;
};

#endif  // TARVIN_ORDEREDQUEUE_H
