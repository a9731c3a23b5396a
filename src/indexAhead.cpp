#include "indexAhead.h"

#include <utility>

void indexOpener::job::open() noexcept {
  retired.reset();
  index.reset();
  try {
    std::unique_ptr<mFileIndex> opened(new mFileIndex);
    if (opened->openUpTo(*file, kAheadLargest, [](mEx& error) { throw std::move(error); }))
      index = std::move(opened);
  } catch (...) {
  }
}

indexOpener::indexOpener(unsigned threads)
    : queue_(threads > 1 ? 2 : 1, 2, [](job& j, unsigned) { j.open(); }) {}

indexOpener::tree::tree(indexOpener& opener, const mFileList& files) : opener_(opener), listed_(files.begin()) {
  handOut();
}

indexOpener::tree::~tree() { opener_.queue_.drain(); }

void indexOpener::tree::handOut() {
  orderedQueue<job>& queue = opener_.queue_;
  while (queue.hasRoom()) {
    auto* next = listed_.step();
    if (!next) return;
    job& j = queue.next();
    j.file = next->value;
    j.retired = std::move(opener_.retired_);
    queue.handOut();
  }
}

bool indexOpener::tree::next(const mFileObject*& file, std::unique_ptr<mFileIndex>& index) {
  job* ahead = opener_.queue_.oldest();
  if (!ahead) return false;
  file = ahead->file;
  index = std::move(ahead->index);
  opener_.queue_.take();
  handOut();
  return true;
}
