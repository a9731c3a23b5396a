// Last error codes from failed system calls, and their Russian texts.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "posix/internal.h"
#include "temp_tree.h"
#include "win32.h"

namespace {

std::u16string systemText(DWORD code, DWORD* length) {
  LPWSTR text = nullptr;
  *length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_FROM_SYSTEM,
                           nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  const std::u16string result = text != nullptr ? std::u16string(text) : u"<none>";
  EXPECT_EQ(LocalFree(text), nullptr);
  return result;
}

DWORD openError(const std::u16string& name) {
  SetLastError(0);
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return GetLastError();
}

TEST(Errors, MissingFileIsError2WithItsText) {
  TempTree dir{"platform"};
  EXPECT_EQ(openError(dir.wide("missing.idx")), 2u);
  DWORD length = 0;
  const std::u16string text = systemText(GetLastError(), &length);
  EXPECT_EQ(text, u"Не удается найти указанный файл.\r\n");
  EXPECT_EQ(length, text.size());
}

TEST(Errors, MissingDirectoryOnTheWayIsError3) {
  TempTree dir{"platform"};
  dir.file("file");
  EXPECT_EQ(openError(dir.wide("nowhere/missing.idx")), 3u);
  EXPECT_EQ(openError(dir.wide("nowhere/deeper/missing.idx")), 3u);
  EXPECT_EQ(openError(dir.wide("file/missing.idx")), 3u);  // a file on the way
  EXPECT_EQ(openError(u""), 3u);
  EXPECT_EQ(openError(dir.wide()), 5u);  // a directory without backup semantics
  EXPECT_EQ(openError(dir.wide(std::string(300, 'n'))), 206u);
}

TEST(Errors, TextsOfTheCodesTheLayerSets) {
  DWORD length = 0;
  EXPECT_EQ(systemText(3, &length), u"Системе не удается найти указанный путь.\r\n");
  EXPECT_EQ(systemText(5, &length), u"Отказано в доступе.\r\n");
  EXPECT_EQ(systemText(1006, &length),
            u"Том для файла был изменен извне, поэтому открытый файл стал недействительным.\r\n");
  for (DWORD code : {0u, 2u, 3u, 4u, 5u, 6u, 8u, 18u, 31u, 38u, 80u, 87u, 122u, 183u, 206u, 1006u}) {
    const std::u16string text = systemText(code, &length);
    EXPECT_GT(length, 2u) << code;
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n") << code;
  }
}

// What Windows gives for the same failure: a full disk is 112 and a link loop
// 1921, not the general failure 31, which is left for errno values without a
// counterpart. Each code has its text.
TEST(Errors, EachErrnoGetsTheCodeWindowsGivesForTheSameFailure) {
  const std::pair<int, DWORD> cases[] = {
      {0, 0}, {ENOSYS, 1}, {ENOENT, 2}, {ENXIO, 2}, {ENOTDIR, 3}, {EMFILE, 4}, {ENFILE, 4},
      {EACCES, 5}, {EPERM, 5}, {EISDIR, 5}, {EBADF, 6}, {ENOMEM, 8}, {EROFS, 19}, {EAGAIN, 32},
      {ETXTBSY, 32}, {ENOTSUP, 50}, {ENODEV, 50}, {EHOSTDOWN, 53}, {ENETUNREACH, 53},
      {ECONNRESET, 64}, {ENOTCONN, 64}, {EEXIST, 80}, {EINVAL, 87}, {ENOSPC, 112}, {EDQUOT, 112},
      {ETIMEDOUT, 121}, {EILSEQ, 123}, {EBUSY, 170}, {ENAMETOOLONG, 206}, {EFBIG, 223},
      {EOVERFLOW, 223}, {EPIPE, 232}, {EINTR, 995}, {ESTALE, 1006}, {EIO, 1117}, {ENOBUFS, 1450},
      {ELOOP, 1921}, {EDOM, 31}, {ENOEXEC, 31},
  };
  for (const auto& [error, code] : cases) {
    EXPECT_EQ(platform::posix::errorFromErrno(error), code) << std::strerror(error);
    DWORD length = 0;
    const std::u16string text = systemText(code, &length);
    EXPECT_GT(length, 2u) << code;
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n") << code;
  }
  DWORD length = 0;
  EXPECT_EQ(systemText(112, &length), u"Недостаточно места на диске.\r\n");
}

TEST(Errors, UnknownCodeHasNoText) {
  LPWSTR text = reinterpret_cast<LPWSTR>(&text);  // must be reset to null
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_FROM_SYSTEM,
                           nullptr, 12345, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr),
            0u);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(Errors, LastErrorIsPerThread) {
  SetLastError(5);
  DWORD seen = 0;
  std::thread other([&seen] {
    seen = GetLastError();
    SetLastError(87);
  });
  other.join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(GetLastError(), 5u);
}

}  // namespace
