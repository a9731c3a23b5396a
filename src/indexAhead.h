// indexAhead: the index files of a tree, opened ahead on another thread
// while the one before is written. In a tree of many small archives opening
// them takes as long as the rest. Only small ones are opened ahead, so that
// little memory waits; one whose opening meets anything but success (a
// missing data file, a damaged, changing or vanished file, a shortage of
// memory) is left to be opened again in its turn, so that what it meets is
// told in its place, as if none had been opened ahead. The indexes written
// are freed on the same thread, off the writer's path.
#ifndef TARVIN_INDEXAHEAD_H
#define TARVIN_INDEXAHEAD_H

#include <cstdint>
#include <memory>

#include "mFileIndex.h"
#include "mFileObject.h"
#include "orderedQueue.h"

class indexOpener {
 public:
  // Index files up to this size are opened ahead.
  static constexpr std::uint64_t kAheadLargest = 1 << 20;

  // `threads` 1: everything is done in turn, on the calling thread.
  explicit indexOpener(unsigned threads);

  // The index files of one listing, in its order. Openings still out when
  // it ends early are dropped, so that none reads a name of the listing
  // after the listing is gone.
  class tree {
   public:
    tree(indexOpener& opener, const mFileList& files);
    ~tree();
    tree(const tree&) = delete;
    tree& operator=(const tree&) = delete;

    // The next index file, and its index when it was opened ahead (null:
    // to be opened in its turn). False after the last.
    bool next(const mFileObject*& file, std::unique_ptr<mFileIndex>& index);

   private:
    void handOut();

    indexOpener& opener_;
    mFileList::iterator listed_;
  };

  // An index that is written: it is freed with the next opening handed out.
  void retire(std::unique_ptr<mFileIndex> index) { retired_ = std::move(index); }

 private:
  struct job {
    const mFileObject* file = nullptr;
    std::unique_ptr<mFileIndex> index;    // null: to be opened in its turn
    std::unique_ptr<mFileIndex> retired;  // freed before the opening
    void open() noexcept;
  };

  std::unique_ptr<mFileIndex> retired_;
  orderedQueue<job> queue_;
};

#endif  // TARVIN_INDEXAHEAD_H
