#include "mFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "text.h"

namespace {

int openDescriptors() {
  int count = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++count;
    closedir(d);
  }
  return count;
}

// The bytes of the mapped view from `start` on.
std::string bytesAt(const mFile& f, std::uint64_t start, std::size_t count) {
  std::string out(count, '\0');
  EXPECT_TRUE(mFile::readMapped([&] { std::memcpy(&out[0], f.view + start, count); }));
  return out;
}

void openAt(mFile& f, const mstr& path) {
  f.setPath(path);
  f.openFileRead();
}

TEST(MFileOpen, ReopeningMapsTheNewFileAndKeepsNoDescriptor) {
  TempTree t;
  t.file("a.dat", "first file");
  t.file("b.dat", "second");
  mFile f;
  const int before = openDescriptors();
  openAt(f, text(t, "a.dat"));
  EXPECT_EQ(openDescriptors(), before);  // the mapping alone holds the file
  openAt(f, text(t, "b.dat"));
  // A file this small is read whole when it is opened: what it held then
  // stays, as it would in a mapping of a file that is cut short no further.
  ASSERT_EQ(truncate(t.path("b.dat").c_str(), 0), 0);
  EXPECT_TRUE(f.viewOwned);
  EXPECT_EQ(bytesAt(f, 0, 6), "second");
  EXPECT_EQ(f.size, 6u);
  // A failed open releases the earlier mapping too.
  EXPECT_EQ(raised([&] { openAt(f, text(t, "c.dat")); }).line, 208);
  EXPECT_EQ(f.size, 0u);
  EXPECT_EQ(f.view, nullptr);
}

TEST(MFileOpen, FailuresCarryTheSystemTextAndThePath) {
  TempTree t;
  t.file("empty.dat", "");
  t.dir("folder");
  ASSERT_EQ(mkfifo(t.path("fifo").c_str(), 0644), 0);  // reads as empty, and is never waited on
  const struct {
    const char* name;
    const errorOrigin& at;
    unsigned sysError;
    const char16_t* text;
  } cases[] = {
      {"missing.dat", origin::fileOpen, 2, u"Не удается найти указанный файл.\r\nfunc=CreateFile filename="},
      {"nowhere/a.dat", origin::fileOpen, 3, u"Системе не удается найти указанный путь.\r\nfunc=CreateFile filename="},
      {"folder", origin::fileOpen, 5, u"Отказано в доступе.\r\nfunc=CreateFile filename="},
      {"fifo", origin::fileMapping, 1006,
       u"Том для файла был изменен извне, поэтому открытый файл стал недействительным.\r\n"
       u"func=CreateFileMapping filename="},
  };
  const int before = openDescriptors();
  for (const auto& c : cases) {
    mFile f;
    mEx e = raised([&] { openAt(f, text(t, c.name)); });
    EXPECT_EQ(whereOf(e), whereOf(c.at)) << c.name;
    EXPECT_EQ(e.sysError, c.sysError) << c.name;
    EXPECT_EQ(str(e.getMessage()), c.text + t.wide(c.name));
    EXPECT_EQ(f.view, nullptr);
  }
  // An empty disk file opens, with nothing to read.
  mFile empty;
  openAt(empty, text(t, "empty.dat"));
  EXPECT_EQ(empty.view, nullptr);
  EXPECT_EQ(openDescriptors(), before);  // nothing opened on the way stays open
}

// Another program cuts the file short while it is mapped: a read of the
// bytes it lost raises the read fault, in any thread and as often as it
// happens, and the bytes it kept still read.
TEST(MFileRead, BytesCutAwayWhileMappedRaiseTheReadFault) {
  TempTree t;
  t.file("cut.dat", std::string(3 << 16, 'x'));
  mFile f;
  openAt(f, text(t, "cut.dat"));
  EXPECT_FALSE(f.viewOwned);  // mapped: larger than what is read whole
  ASSERT_EQ(truncate(t.path("cut.dat").c_str(), 1 << 16), 0);

  volatile unsigned char lost = 0;
  EXPECT_FALSE(mFile::readMapped([&] { lost = f.view[2 << 16]; }));
  mEx e = f.readFault();
  EXPECT_EQ(whereOf(e), whereOf(origin::mappedReadFault));
  EXPECT_EQ(e.sysError, 38u);
  EXPECT_EQ(str(e.getMessage()), u"Достигнут конец файла.\r\nfunc=MapViewOfFile Чтение отображённого файла "
                                 u"прервано: файл укорочен или недоступен. filename=" + t.wide("cut.dat"));

  std::atomic<int> faults{0}, reads{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      for (int k = 0; k < 200; ++k) {
        volatile unsigned char sink = 0;
        if (!mFile::readMapped([&] { sink = f.view[(2 << 16) + k]; })) ++faults;
        if (mFile::readMapped([&] { sink = f.view[k]; })) ++reads;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(faults.load(), 800);
  EXPECT_EQ(reads.load(), 800);

  // A view whose pages cannot be read at all (SIGSEGV) faults the same way.
  volatile unsigned char sink = 0;
  void* page = const_cast<unsigned char*>(f.view);
  ASSERT_EQ(mprotect(page, 1 << 16, PROT_NONE), 0);
  EXPECT_FALSE(mFile::readMapped([&] { sink = f.view[100]; }));
  ASSERT_EQ(mprotect(page, 1 << 16, PROT_READ), 0);
  EXPECT_TRUE(mFile::readMapped([&] { sink = f.view[100]; }));

  // Outside a guard the fault still ends the process, as it would without;
  // and inside one, so does a SIGSEGV of memory that is no mapped file.
  auto ended = [](int status) { return !WIFEXITED(status) || WEXITSTATUS(status) != 0; };
  EXPECT_EXIT(
      {
        sink = f.view[2 << 16];
        _exit(0);
      },
      ended, "");
  void* other = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(other, MAP_FAILED);
  EXPECT_EXIT(
      {
        mFile::readMapped([&] { sink = *static_cast<volatile unsigned char*>(other); });
        _exit(0);
      },
      ended, "");
  munmap(other, 4096);
}

TEST(MFileLarge, SizesAndOffsetsBeyond4GiB) {
  TempTree t;
  const std::uint64_t size = (std::uint64_t{1} << 32) + 100, high = (std::uint64_t{1} << 32) + 40;
  const int fd = ::open(t.path("big.dat").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  // A sparse file: the same offset in the low 32 bits holds other bytes.
  const bool written = ftruncate(fd, static_cast<off_t>(size)) == 0 && pwrite(fd, "LOW!", 4, 40) == 4 &&
                       pwrite(fd, "HIGH", 4, static_cast<off_t>(high)) == 4 &&
                       pwrite(fd, "tail", 4, static_cast<off_t>(size - 4)) == 4;
  ::close(fd);
  ASSERT_TRUE(written);

  mFile f;
  f.setPath(text(t, "big.dat"));
  try {
    f.openFileRead();
  } catch (const mEx& e) {
    if (e.line == 220) GTEST_SKIP() << "no address space for a view of 4 GiB";
    FAIL() << "open failed at line " << e.line << ", system error " << e.sysError;
  }
  EXPECT_EQ(f.size, size);
  EXPECT_EQ(bytesAt(f, high, 4), "HIGH");
  EXPECT_EQ(bytesAt(f, size - 4, 4), "tail");
}

}  // namespace
