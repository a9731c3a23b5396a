#include "mFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/mman.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "temp_tree.h"
#include "text.h"

namespace {

std::string read(const mFile& f, std::uint64_t& start, std::uint64_t& end) {
  mbytes a;
  a.append_n(reinterpret_cast<const unsigned char*>("stale"), 5);  // callers reuse arrays
  f.readFile(a, start, end);
  return std::string(reinterpret_cast<const char*>(a.get_data()), static_cast<size_t>(a.get_count()));
}

int openDescriptors() {
  int count = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++count;
    closedir(d);
  }
  return count;
}

void openAt(mFile& f, const mstr& path) {
  f.setPath(path);
  f.openFileRead();
}

void expectReadRefused(const mFile& f) {
  std::uint64_t start = 0, end = 0;
  mEx e = raised([&] { read(f, start, end); });
  EXPECT_EQ(e.line, 134);
  EXPECT_EQ(e.code, 1);
  EXPECT_EQ(e.sysError, 0u);
  EXPECT_EQ(str(e.file), u"Vc\\Include\\mFile");
  EXPECT_EQ(str(e.function), u"mFile::readFile");
  EXPECT_EQ(str(e.getMessage()), u"Пытаемся читать из неоткрытого файла.");
}

TEST(MFileRead, RangesAreCutToTheFile) {
  TempTree t;
  t.file("a.dat", "0123456789");
  mFile f;
  openAt(f, t.text("a.dat"));
  ASSERT_EQ(f.getSize(), 10u);
  auto range = [&](std::uint64_t start, std::uint64_t end, std::uint64_t cutStart, std::uint64_t cutEnd) {
    std::string bytes = read(f, start, end);
    EXPECT_EQ(start, cutStart);
    EXPECT_EQ(end, cutEnd);
    return bytes;
  };
  EXPECT_EQ(range(0, 0, 0, 10), "0123456789");
  EXPECT_EQ(range(2, 50, 2, 10), "23456789");
  EXPECT_EQ(range(20, 0, 10, 10), "");
  EXPECT_EQ(range(9, 10, 9, 10), "9");
  EXPECT_EQ(range(3, 3, 3, 3), "");
  EXPECT_EQ(range(8, 5, 8, 5), "");
  EXPECT_FALSE(f.isEnd(f.view + 9));
  EXPECT_TRUE(f.isEnd(f.view + 10));
}

TEST(MFileRead, UnopenedFileIsRefused) {
  mFile f;
  expectReadRefused(f);
  EXPECT_EQ(f.mode, 0);
}

TEST(MFileOpen, ReopeningMapsTheNewFileAndKeepsNoDescriptor) {
  TempTree t;
  t.file("a.dat", "first file");
  t.file("b.dat", "second");
  mFile f;
  const int before = openDescriptors();
  openAt(f, t.text("a.dat"));
  EXPECT_EQ(openDescriptors(), before);  // the mapping alone holds the file
  openAt(f, t.text("b.dat"));
  std::uint64_t start = 0, end = 0;
  EXPECT_EQ(read(f, start, end), "second");
  EXPECT_EQ(f.getSize(), 6u);
  // A failed open releases the earlier mapping too.
  EXPECT_EQ(raised([&] { openAt(f, t.text("c.dat")); }).line, 208);
  EXPECT_EQ(f.getSize(), 0u);
  expectReadRefused(f);
}

TEST(MFileOpen, FailuresCarryTheSystemTextAndThePath) {
  TempTree t;
  t.file("empty.dat", "");
  t.dir("folder");
  const struct {
    const char* name;
    int line;
    unsigned sysError;
    const char16_t* text;
  } cases[] = {
      {"missing.dat", 208, 2, u"Не удается найти указанный файл.\r\nfunc=CreateFile filename="},
      {"nowhere/a.dat", 208, 3, u"Системе не удается найти указанный путь.\r\nfunc=CreateFile filename="},
      {"folder", 208, 5, u"Отказано в доступе.\r\nfunc=CreateFile filename="},
      {"empty.dat", 214, 1006,
       u"Том для файла был изменен извне, поэтому открытый файл стал недействительным.\r\n"
       u"func=CreateFileMapping filename="},
  };
  const int before = openDescriptors();
  for (const auto& c : cases) {
    mFile f;
    mEx e = raised([&] { openAt(f, t.text(c.name)); });
    EXPECT_EQ(e.line, c.line) << c.name;
    EXPECT_EQ(e.code, 1);
    EXPECT_EQ(e.sysError, c.sysError) << c.name;
    EXPECT_EQ(str(e.file), u"Vc\\Include\\mFile");
    EXPECT_EQ(str(e.function), u"mFile::openFileRead");
    EXPECT_EQ(str(e.getMessage()), c.text + t.wide(c.name));
    EXPECT_EQ(f.mode, 1);
    expectReadRefused(f);
  }
  EXPECT_EQ(openDescriptors(), before);  // nothing opened on the way stays open
}

// Another program cuts the file short while it is mapped: a read of the
// bytes it lost raises the read fault, in any thread and as often as it
// happens, and the bytes it kept still read.
TEST(MFileRead, BytesCutAwayWhileMappedRaiseTheReadFault) {
  TempTree t;
  t.file("cut.dat", std::string(3 << 16, 'x'));
  mFile f;
  openAt(f, t.text("cut.dat"));
  ASSERT_EQ(truncate(t.path("cut.dat").c_str(), 1 << 16), 0);

  std::uint64_t start = 2 << 16, end = 0;
  mEx e = raised([&] { read(f, start, end); });
  EXPECT_EQ(e.line, 240);
  EXPECT_EQ(e.code, 1);
  EXPECT_EQ(e.sysError, 38u);
  EXPECT_EQ(str(e.file), u"Vc\\Include\\mFile");
  EXPECT_EQ(str(e.function), u"mFile::readMapped");
  EXPECT_EQ(str(e.getMessage()), u"Достигнут конец файла.\r\nfunc=MapViewOfFile Чтение отображённого файла "
                                 u"прервано: файл укорочен или недоступен. filename=" + t.wide("cut.dat"));
  mbytes kept;
  start = 0;
  end = 1 << 16;
  EXPECT_EQ(f.readFile(kept, start, end).get_count(), 1 << 16);

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
  f.setPath(t.text("big.dat"));
  try {
    f.openFileRead();
  } catch (const mEx& e) {
    if (e.line == 220) GTEST_SKIP() << "no address space for a view of 4 GiB";
    FAIL() << "open failed at line " << e.line << ", system error " << e.sysError;
  }
  EXPECT_EQ(f.getSize(), size);
  std::uint64_t start = high, end = high + 4;
  EXPECT_EQ(read(f, start, end), "HIGH");
  start = size - 4;
  end = 0;
  EXPECT_EQ(read(f, start, end), "tail");
  EXPECT_EQ(end, size);
  EXPECT_FALSE(f.isEnd(f.view + size - 1));
  EXPECT_TRUE(f.isEnd(f.view + size));
}

}  // namespace
