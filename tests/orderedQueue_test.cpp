#include "orderedQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

namespace {

struct job {
  int number = -1;
  int result = -1;
  unsigned thread = 0;
};

// Jobs that take longer the lower their number, so that later ones finish
// first whenever there are workers. Where there are, job 0 waits until a job
// has run on another thread than its own: whoever does it, the writer or a
// worker, the jobs after it are done by the other, however the threads are
// scheduled.
std::atomic<int> threadsOfTheRun{1};
std::atomic<unsigned> threadsSeen{0};  // a bit for each thread that finished a job

void slowFirst(job& j, unsigned thread) {
  std::this_thread::sleep_for(std::chrono::microseconds((j.number % 7) * 50));
  j.result = j.number * j.number;
  j.thread = thread;
  if (j.number == 0 && threadsOfTheRun > 1) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((threadsSeen.load() & ~(1u << thread)) == 0 && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  threadsSeen |= 1u << thread;
}

TEST(OrderedQueue, ResultsComeInTheOrderJobsWereHandedOut) {
  for (unsigned threads : {1u, 2u, 4u}) {
    SCOPED_TRACE(threads);
    threadsOfTheRun = static_cast<int>(threads);
    threadsSeen = 0;
    orderedQueue<job> queue(threads, 3, slowFirst);
    std::vector<int> taken;
    std::set<unsigned> ranOn;
    int handed = 0;
    for (;;) {
      while (handed < 200 && queue.hasRoom()) {
        queue.next().number = handed++;
        queue.handOut();
      }
      job* j = queue.oldest();
      if (!j) break;
      EXPECT_EQ(j->result, j->number * j->number);
      taken.push_back(j->number);
      ranOn.insert(j->thread);
      queue.take();
    }
    ASSERT_EQ(taken.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(taken[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(ranOn.size() > 1, threads > 1);  // the workers did a share
  }
}

TEST(OrderedQueue, DrainLeavesNoJobRunningAndTheQueueEmpty) {
  std::atomic<int> running{0};
  orderedQueue<job> queue(3, 4, [&running](job& j, unsigned) {
    ++running;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    j.result = j.number;
    --running;
  });
  for (int i = 0; i < 4; ++i) {
    queue.next().number = i;
    queue.handOut();
  }
  queue.drain();
  EXPECT_EQ(running.load(), 0);
  EXPECT_EQ(queue.oldest(), nullptr);
  // It goes on with new jobs afterwards.
  queue.next().number = 9;
  queue.handOut();
  ASSERT_NE(queue.oldest(), nullptr);
  EXPECT_EQ(queue.oldest()->result, 9);
}

}  // namespace
