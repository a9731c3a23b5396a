// File handles: opening, sizes, reading, writing, file information, made
// directories and mappings.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "posix/internal.h"
#include "temp_tree.h"
#include "win32.h"

namespace {

HANDLE openRead(const std::u16string& name, DWORD flags = 0) {
  return CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags,
                     nullptr);
}

TEST(Files, ReadsUpToTheEnd) {
  TempTree dir{"platform"};
  dir.file("list.txt", "one\r\ntwo");
  HANDLE file = openRead(dir.wide("list.txt"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[64] = {};
  DWORD read = 99;
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 8u);
  EXPECT_EQ(std::string(buffer, read), "one\r\ntwo");
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  // A read at an offset reads there, up to the end, and leaves the file
  // pointer where it was.
  OVERLAPPED at{};
  at.Offset = 3;
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, &at));
  EXPECT_EQ(std::string(buffer, read), "\r\ntwo");
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(CloseHandle(file));
}

TEST(Files, SizesAreSixtyFourBits) {
  TempTree dir{"platform"};
  dir.file("big");
  // Sparse: 5 GiB + 7 bytes, then 8 GiB - 1, whose low part is all ones.
  ASSERT_EQ(truncate(dir.path("big").c_str(), (5LL << 30) + 7), 0);
  HANDLE file = openRead(dir.wide("big"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD high = 0;
  EXPECT_EQ(GetFileSize(file, &high), 0x40000007u);
  EXPECT_EQ(high, 1u);
  ASSERT_EQ(truncate(dir.path("big").c_str(), (8LL << 30) - 1), 0);
  SetLastError(5);
  EXPECT_EQ(GetFileSize(file, &high), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), 0u);  // a real size, not a failure
  EXPECT_EQ(high, 1u);
  BY_HANDLE_FILE_INFORMATION info{};
  ASSERT_TRUE(GetFileInformationByHandle(file, &info));
  EXPECT_EQ(info.nFileSizeHigh, 1u);
  EXPECT_EQ(info.nFileSizeLow, 0xFFFFFFFFu);
  EXPECT_EQ(info.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
  CloseHandle(file);
}

TEST(Files, DirectoriesOpenOnlyForTheirInformation) {
  TempTree dir{"platform"};
  dir.dir("sub");
  SetLastError(0);
  EXPECT_EQ(openRead(dir.wide("sub")), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 5u);
  HANDLE first = openRead(dir.wide("sub"), FILE_FLAG_BACKUP_SEMANTICS);
  HANDLE second = openRead(dir.wide("sub/."), FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  ASSERT_TRUE(GetFileInformationByHandle(first, &a));
  ASSERT_TRUE(GetFileInformationByHandle(second, &b));
  EXPECT_EQ(a.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  // The same directory by two names: same volume and index.
  EXPECT_EQ(a.dwVolumeSerialNumber, b.dwVolumeSerialNumber);
  EXPECT_EQ(a.nFileIndexHigh, b.nFileIndexHigh);
  EXPECT_EQ(a.nFileIndexLow, b.nFileIndexLow);
  DWORD high = 9;
  EXPECT_EQ(GetFileSize(first, &high), 0u);
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(CloseHandle(second));
}

TEST(Files, AFifoNeverWaits) {
  TempTree dir{"platform"};
  ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0644), 0);
  HANDLE fifo = openRead(dir.wide("fifo"));  // no writer: must not block
  ASSERT_NE(fifo, INVALID_HANDLE_VALUE);
  DWORD high = 9;
  EXPECT_EQ(GetFileSize(fifo, &high), 0u);
  EXPECT_EQ(high, 0u);
  char buffer[16];
  DWORD read = 9;
  EXPECT_TRUE(ReadFile(fifo, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  SetLastError(0);
  EXPECT_EQ(CreateFileMappingW(fifo, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), 1006u);
  CloseHandle(fifo);
}

// Opening for writing: each disposition on a name that is free, taken by a
// file or by a directory, or in a directory that is missing.
TEST(Files, WritesCreateReplaceOrRefuseAsTheDispositionSays) {
  struct row {
    DWORD disposition;
    const char* name;
    DWORD error;        // the last error after the open
    const char* after;  // the file's content after "x" is written, or null when it does not open
  };
  const row rows[] = {
      {CREATE_NEW, "new", 0, "x"},
      {CREATE_NEW, "old", 80, nullptr},
      {CREATE_ALWAYS, "new", 0, "x"},
      {CREATE_ALWAYS, "old", 183, "x"},  // emptied first
      {OPEN_EXISTING, "old", 0, "xld bytes"},
      {OPEN_EXISTING, "new", 2, nullptr},
      {CREATE_ALWAYS, "sub", 5, nullptr},
      {CREATE_NEW, "sub", 80, nullptr},
      {CREATE_NEW, "missing/new", 3, nullptr},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(std::string(r.name) + " " + std::to_string(r.disposition));
    TempTree dir{"platform"};
    dir.file("old", "old bytes");
    ASSERT_EQ(mkdir(dir.path("sub").c_str(), 0755), 0);
    SetLastError(99);
    HANDLE file = CreateFileW(dir.wide(r.name).c_str(), GENERIC_WRITE, 0, nullptr, r.disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(GetLastError(), r.error);
    ASSERT_EQ(file != INVALID_HANDLE_VALUE, r.after != nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_TRUE(CloseHandle(file));
    HANDLE back = openRead(dir.wide(r.name));
    char buffer[64] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(back, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), r.after);
    CloseHandle(back);
  }
  SetLastError(0);
  EXPECT_EQ(CreateFileW(u"x", GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 87u);  // reading a file that is made: not offered
}

// Directories are made once, a piece of the path at a time beyond PATH_MAX,
// and a file is written at the end of such a path.
TEST(Files, DirectoriesAreMadeOnceAlsoBeyondPathMax) {
  TempTree dir{"platform"};
  std::u16string deep = dir.wide();
  for (int i = 0; i < 1000; ++i) {
    deep += u"/level";
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << i;
  }
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryW(deep.c_str(), nullptr));
  EXPECT_EQ(GetLastError(), 183u);
  const std::u16string file = deep + u"/R.txt";
  HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(out, "text", 4, &written, nullptr));
  CloseHandle(out);
  HANDLE in = openRead(file);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(in, nullptr), 4u);
  CloseHandle(in);
  // A name taken by a file, and a parent that is missing.
  for (const auto& [name, error] : {std::pair{u"/R.txt", 183u}, {u"/gone/sub", 3u}}) {
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryW((deep + name).c_str(), nullptr));
    EXPECT_EQ(GetLastError(), error);
  }
}

// What a name is, its last link not followed; names are removed and
// renamed, never what a link leads to.
TEST(Files, NamesAreToldRemovedAndRenamedWithoutFollowingLinks) {
  TempTree dir{"platform"};
  dir.file("file", "file");
  dir.file("new", "new");
  dir.dir("sub");
  dir.link("file", "toFile");
  dir.link("sub", "toSub");
  dir.link("gone", "dangling");
  ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0644), 0);
  const std::pair<const char*, DWORD> kinds[] = {
      {"file", FILE_ATTRIBUTE_NORMAL}, {"sub", FILE_ATTRIBUTE_DIRECTORY}, {"toFile", FILE_ATTRIBUTE_REPARSE_POINT},
      {"toSub", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY}, {"dangling", FILE_ATTRIBUTE_REPARSE_POINT},
      {"fifo", FILE_ATTRIBUTE_DEVICE}, {"missing", INVALID_FILE_ATTRIBUTES}};
  for (const auto& [name, attributes] : kinds) EXPECT_EQ(GetFileAttributesW(dir.wide(name).c_str()), attributes) << name;
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(GetFileAttributesW(dir.wide("missing/x").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), 3u);
  auto content = [&dir](const char* name) {
    std::ifstream in(dir.path(name));
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_FALSE(MoveFileExW(dir.wide("new").c_str(), dir.wide("file").c_str(), 0));
  EXPECT_EQ(GetLastError(), 183u);
  EXPECT_TRUE(MoveFileExW(dir.wide("new").c_str(), dir.wide("toFile").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetFileAttributesW(dir.wide("toFile").c_str()), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(content("toFile") + content("file"), "newfile");
  EXPECT_TRUE(MoveFileExW(dir.wide("toFile").c_str(), dir.wide("moved").c_str(), 0));
  EXPECT_EQ(content("moved"), "new");
  EXPECT_TRUE(DeleteFileW(dir.wide("toSub").c_str()));
  EXPECT_TRUE(DeleteFileW(dir.wide("dangling").c_str()));
  EXPECT_EQ(GetFileAttributesW(dir.wide("dangling").c_str()) & GetFileAttributesW(dir.wide("toSub").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(DeleteFileW(dir.wide("sub").c_str()));
  EXPECT_EQ(GetLastError(), 5u);
}

// Opening a FIFO, for writing or for its information, never waits; a handle
// tells what it is and where it leads.
TEST(Files, HandlesTellWhatTheyAreAndWhereTheyLead) {
  TempTree dir{"platform"};
  dir.file("file", "x");
  dir.link("file", "link");
  dir.link("gone", "dangling");
  ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0644), 0);
  auto open = [&dir](const char* name, DWORD access, DWORD disposition, DWORD flags) {
    return CreateFileW(dir.wide(name).c_str(), access, 0, nullptr, disposition, flags, nullptr);
  };
  EXPECT_EQ(open("fifo", GENERIC_WRITE, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);  // no reader
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(open("dangling", GENERIC_WRITE, CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 80u);
  EXPECT_EQ(GetFileAttributesW(dir.wide("gone").c_str()), INVALID_FILE_ATTRIBUTES);
  HANDLE fifo = open("fifo", 0, OPEN_EXISTING, 0), link = open("link", 0, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE file = open("link", 0, OPEN_EXISTING, 0);
  HANDLE device = CreateFileW(u"/dev/null", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(GetFileType(fifo), FILE_TYPE_PIPE);
  EXPECT_EQ(GetFileType(device), FILE_TYPE_CHAR);
  EXPECT_EQ(GetFileType(file), FILE_TYPE_DISK);
  BY_HANDLE_FILE_INFORMATION itself{}, target{};
  EXPECT_TRUE(GetFileInformationByHandle(link, &itself) && GetFileInformationByHandle(file, &target));
  EXPECT_NE(itself.nFileIndexLow, target.nFileIndexLow);
  WCHAR path[4096];
  EXPECT_EQ(GetFinalPathNameByHandleW(file, path, 4, 0), dir.wide("file").size() + 1);  // room needed
  EXPECT_EQ(GetFinalPathNameByHandleW(file, path, 4096, 0), dir.wide("file").size());
  EXPECT_EQ(std::u16string(path), dir.wide("file"));
  for (HANDLE h : {fifo, link, file, device}) EXPECT_TRUE(CloseHandle(h));
}

TEST(Files, BadHandlesAreRefused) {
  TempTree dir{"platform"};
  dir.file("a", "x");
  HANDLE file = openRead(dir.wide("a"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  char buffer[4];
  DWORD read = 0;
  for (HANDLE bad : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr), mapping}) {
    SetLastError(0);
    EXPECT_FALSE(ReadFile(bad, buffer, 1, &read, nullptr));
    EXPECT_EQ(GetLastError(), 6u);
  }
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_TRUE(CloseHandle(mapping));
  for (HANDLE closed : {file, mapping, INVALID_HANDLE_VALUE}) {
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(closed));
    EXPECT_EQ(GetLastError(), 6u);
  }
}

TEST(Mapping, FilesBeyondFourGiBAreMappedWhole) {
  TempTree dir{"platform"};
  dir.file("data.02");
  const std::string path = dir.path("data.02");
  const long long end = (5LL << 30) + 7;
  ASSERT_EQ(truncate(path.c_str(), end - 1), 0);
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "Z", 1), 1);  // the very last byte
  ::close(fd);
  HANDLE file = openRead(dir.wide("data.02"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  CloseHandle(file);
  ASSERT_NE(mapping, nullptr);
  const auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  CloseHandle(mapping);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[end - 1], 'Z');
  EXPECT_EQ(view[end - 2], 0);
  EXPECT_TRUE(UnmapViewOfFile(view));
}

TEST(Mapping, EmptyFileCannotBeMapped) {
  TempTree dir{"platform"};
  dir.file("empty.idx");
  HANDLE file = openRead(dir.wide("empty.idx"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
  CloseHandle(file);
}

TEST(Mapping, AMaximumSizeNarrowsTheMappingAndNeverExtendsTheFile) {
  TempTree dir{"platform"};
  dir.file("data.01", std::string(10000, 'x'));
  HANDLE file = openRead(dir.wide("data.01"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 10001, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), 8u);  // as Windows refuses it for a read-only file
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 5000, nullptr);
  CloseHandle(file);
  ASSERT_NE(mapping, nullptr);
  SetLastError(0);
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 5001), nullptr);
  EXPECT_EQ(GetLastError(), 5u);
  const auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  CloseHandle(mapping);
  ASSERT_NE(view, nullptr);
  // The view is as long as the mapping, and a live view until it is unmapped.
  EXPECT_TRUE(platform::posix::isInLiveView(view));
  EXPECT_TRUE(platform::posix::isInLiveView(view + 4999));
  EXPECT_FALSE(platform::posix::isInLiveView(view + 5000));
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FALSE(platform::posix::isInLiveView(view));
}

TEST(Mapping, ViewOutlivesItsHandles) {
  TempTree dir{"platform"};
  const std::string content = "\x01\x80\xFF report bytes";
  dir.file("data.01", content);
  HANDLE file = openRead(dir.wide("data.01"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  EXPECT_TRUE(CloseHandle(file));  // the mapping keeps the file
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(CloseHandle(mapping));  // the view keeps the mapping
  EXPECT_EQ(std::memcmp(view, content.data(), content.size()), 0);
  EXPECT_TRUE(UnmapViewOfFile(view));
  SetLastError(0);
  EXPECT_FALSE(UnmapViewOfFile(view));
  EXPECT_EQ(GetLastError(), 87u);
}

}  // namespace
