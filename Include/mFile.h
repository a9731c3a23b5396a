// mFile: a whole file, its bytes read in place through `view`.
//
// openFileRead gives the bytes of the file that the object's path names: a
// small file read whole into memory of its own, any other mapped read-only
// (and, if asked, kept open for the system's read call too: readAt). They
// stay until close(), a new openFileRead, or destruction. Sizes and offsets
// are 64-bit.
//
// Another program may cut a mapped file short, or its storage may go away,
// while it is mapped: a read of the bytes it lost then faults. Every read of
// mapped bytes runs inside readMapped, which turns such a fault into a false
// result, and readFault gives the error to raise for it.
#ifndef TARVIN_MFILE_H
#define TARVIN_MFILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "mFileObject.h"

class mFile : public mFileObject {
 public:
  const unsigned char* view = nullptr;  // first byte of the file, mapped or read whole; or null
  std::uint64_t size = 0;               // bytes at view: the file size when opened; 0 when closed
  HANDLE reader = nullptr;              // the file, kept open for readAt
  bool viewOwned = false;               // view is memory of its own (a small file read whole), not a mapping
  std::uint64_t opening = 0;            // numbers each opening in the process; 0 when closed

  // Files up to this size are read whole instead of mapped.
  static constexpr std::uint64_t kReadWhole = 64 * 1024;
  // Mapped bytes read through once are released this many at a time.
  static constexpr std::uint64_t kReleaseStep = 1 << 20;

  mFile() = default;
  mFile(const mFile&) = delete;
  mFile& operator=(const mFile&) = delete;
  ~mFile() override;

  // Maps the file whole: exactly the size it has when it is sized, which
  // becomes `size`; a file of at most kReadWhole bytes is read whole into
  // memory instead (viewOwned), which costs less, and an empty disk file has
  // no view at all. Raises mEx when the path is empty, with the system's
  // text when the file cannot be opened, sized, read into memory or mapped
  // (a FIFO or a device that reads as empty cannot be mapped), and readFault
  // when it was cut short before it was read or mapped; nothing opened on
  // the way stays open.
  // With `keepHandle`, a mapped file also stays open for readAt.
  void openFileRead(bool keepHandle = false);

  // Reads up to `count` bytes at `offset` of a file opened with its handle
  // kept, through the system's read call instead of the mapping: for long
  // runs of bytes read once this costs less than touching the mapped pages,
  // each a fault and a mapping of its own. Returns how many it read: fewer
  // at the end of the file (it may have been cut short under us) or when the
  // file cannot be read. Any thread may use it.
  std::size_t readAt(std::uint64_t offset, void* into, std::size_t count) const;
  bool canReadAt() const { return reader != nullptr; }

  // Runs read(), code that reads mapped bytes (of any file) and writes only
  // memory it owns, and returns true; returns false when one of those reads
  // faulted, which stopped read() there without unwinding. So read() must
  // not throw, take locks or hold anything that needs destroying. Any thread
  // may use it; it costs no system call.
  template <class Read>
  static bool readMapped(Read&& read) {
    typedef std::remove_reference_t<Read> body;
    void* context = const_cast<void*>(static_cast<const void*>(std::addressof(read)));
    return platform::guardMappedReads([](void* c) { (*static_cast<body*>(c))(); }, context);
  }
  // Whether the mapped bytes [offset, offset + count), cut to the file's
  // size, can all still be read (a byte of each page is read); true for no
  // bytes. A file cut short by another program meanwhile has lost some. The
  // pages read leave the process's memory again as it goes.
  bool stillReadable(std::uint64_t offset, std::uint64_t count) const;
  // The mapped bytes [offset, offset + count) will not be read again soon:
  // the whole pages among them may leave the process's memory (a later read
  // brings them back from the file). Nothing for a file read whole.
  void release(std::uint64_t offset, std::uint64_t count) const;
  // The error of a read of this file's bytes that faulted (mapped) or came
  // short (readAt): the system text of ERROR_HANDLE_EOF, "func=MapViewOfFile",
  // what happened and the file's full path. At report level when a report
  // is read; mFileIndex::open raises it for its index, and openFileRead for
  // a file cut short before it was read or mapped.
  mEx readFault() const;
  void close();

 private:
  void readWhole(HANDLE file, std::uint64_t fileSize, const mstr& path);
};

#endif  // TARVIN_MFILE_H
