// The one header through which the class library and the program reach
// system services.
//
// On Windows it is the real API. Everywhere else it declares the same subset
// of the Windows API, with the same names, types and meanings, and
// platform/posix implements it over POSIX. Besides that subset it holds the
// few facts in which the two platforms really differ (namespace platform).
#ifndef TARVIN_PLATFORM_WIN32_H
#define TARVIN_PLATFORM_WIN32_H

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shlwapi.h>

#include <cstddef>
#include <string>

namespace platform {
// Separator of path components.
constexpr unsigned short pathSeparator = u'\\';
// A path may start with a drive ("C:").
constexpr bool hasDriveLetters = true;
// Directories that are links (reparse points) are not walked into.
constexpr bool descendIntoDirectoryLinks = false;
// A CreateFileW flag for a file read to its end as a stream (a list file):
// there are no FIFOs in the file system here, so nothing to wait for.
constexpr DWORD openWaitsForWriter = 0;
// Paths of this many units and more are refused (unless written in the
// "\\?\" form): a search of one fails, mostly with ERROR_PATH_NOT_FOUND.
constexpr int pathLimit = MAX_PATH;

// A "/" at the start of an argument marks a switch, by the convention of the
// system's command line (a path starts with a drive or a backslash).
constexpr bool slashMarksSwitches = true;

// Sort keys for the order of StrCmpW (see the POSIX branch): none on Windows, where the order is
// the system's own and callers compare with StrCmpW.
constexpr bool hasSortKeys = false;
inline std::size_t sortKey(const WCHAR*, unsigned char*, std::size_t) { return 0; }

// Runs body(context) and returns true; returns false instead when a read of a mapped file view
// faulted while it ran (the file was cut short by another program, or its storage went away):
// the body is then stopped at the faulting read, without unwinding, so it must be plain code that
// reads mapped bytes and writes memory it owns (no destructors to run, no locks held). Any thread
// may use it; it costs no system call per call.
bool guardMappedReads(void (*body)(void*), void* context);

// Memory of a large block not yet touched will be used whole: the system may back it with large
// pages, so that filling it takes far fewer page faults. A hint only; nothing to do here.
inline void preferLargePages(void*, std::size_t) {}

// Bytes of a mapped file view that will not be read again soon: their pages may leave the
// process's memory (its working set), and a later read brings them back from the file. A hint
// only: unlocking pages that are not locked takes them out of the working set, and fails with an
// error that is of no interest, so the last error is kept.
inline void releaseMappedPages(const void* start, std::size_t bytes) {
  const DWORD kept = GetLastError();
  VirtualUnlock(const_cast<void*>(start), bytes);
  SetLastError(kept);
}

// Interruptions of the process (Ctrl+C, Ctrl+Break, the console closed) end it with exit code 130
// (Ctrl+C, Ctrl+Break) or 143, after removing the files that are on the list at that moment (the
// temporaries of output not yet complete). The first call sets this up; each call adds `path` to
// the list, or takes it off. False when there is no room for it.
bool removeOnInterrupt(const WCHAR* path, bool add);

// What a directory search tells of the one entry that a path names. No file name holds a wildcard
// here, so the search of the path itself is that lookup. False, with the last error set, when
// nothing is there.
inline bool findEntry(const WCHAR* path, WIN32_FIND_DATAW* data) {
  HANDLE search = FindFirstFileW(path, data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

// The path by which the system reaches what a directory walk finds below
// `directory`, the full path of a directory as the user typed it: its
// absolute form with the "\\?\" prefix ("\\?\UNC\server\share\..." for a
// share), without a separator at its end. Below it the system takes names as
// they are (without the prefix it drops a trailing "." or " " of each one)
// and paths may be longer than MAX_PATH. Empty when it cannot be made
// absolute.
std::wstring walkRoot(const WCHAR* directory);

// Whether the user's texts are UTF-8 by the locale. Here the console's OEM code page is the
// user's, whatever the locale: never.
inline bool localeIsUtf8() { return false; }
// The system's texts end in "\r\n", as this system gives them: nothing to choose here.
inline void systemTextsEndInLineFeed(bool) {}
}  // namespace platform

#else  // POSIX: the same subset, implemented in platform/posix

#include <cstddef>
#include <cstdint>
#include <string>

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef unsigned int UINT;
typedef char16_t WCHAR;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef std::size_t SIZE_T;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;
typedef char CHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef BOOL* LPBOOL;
typedef std::uintptr_t DWORD_PTR;
typedef DWORD_PTR* PDWORD_PTR;
typedef std::uint64_t ULONGLONG;

#define TRUE 1
#define FALSE 0
#define WINAPI
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define INVALID_FILE_SIZE (static_cast<DWORD>(0xFFFFFFFFu))
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(0xFFFFFFFFu))

// CreateFileW
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u

// File attributes delivered by the directory search
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_DEVICE 0x00000040u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u

// GetFileType
#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u

// MoveFileExW
#define MOVEFILE_REPLACE_EXISTING 0x00000001u

// Mappings
#define PAGE_READONLY 0x02u
#define FILE_MAP_READ 0x0004u

// Standard handles
#define STD_INPUT_HANDLE (static_cast<DWORD>(-10))
#define STD_OUTPUT_HANDLE (static_cast<DWORD>(-11))
#define STD_ERROR_HANDLE (static_cast<DWORD>(-12))

// Code pages: CP_OEMCP is code page 866.
#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_UTF8 65001u

// FormatMessageW
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))

// System error codes the layer sets
#define NO_ERROR 0L
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_NOT_READY 21L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_BAD_NETPATH 53L
#define ERROR_NETNAME_DELETED 64L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BROKEN_PIPE 109L
#define ERROR_DISK_FULL 112L
#define ERROR_SEM_TIMEOUT 121L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_BUSY 170L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_DIRECTORY 267L
#define ERROR_FILE_TOO_LARGE 223L
#define ERROR_NO_DATA 232L
#define ERROR_PIPE_NOT_CONNECTED 233L
#define ERROR_OPERATION_ABORTED 995L
#define ERROR_FILE_INVALID 1006L
#define ERROR_IO_DEVICE 1117L
#define ERROR_NO_SYSTEM_RESOURCES 1450L
#define ERROR_CANT_RESOLVE_FILENAME 1921L

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
// Only the position of a read is taken from it: ReadFile then reads at that
// offset without moving the file pointer, as Windows does for a handle
// opened for synchronous use.
struct OVERLAPPED {
  std::uintptr_t Internal;
  std::uintptr_t InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};
typedef OVERLAPPED* LPOVERLAPPED;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;

struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};
typedef BY_HANDLE_FILE_INFORMATION* LPBY_HANDLE_FILE_INFORMATION;

// Last error (kept per thread).
DWORD GetLastError();
void SetLastError(DWORD code);

// Files. Names are UTF-16; on disk they are UTF-8, and a byte that is not
// part of valid UTF-8 travels as the lone surrogate U+DC80 + byte, so that
// every name found on disk can be opened again. A file opens for reading
// (GENERIC_READ, OPEN_EXISTING), for its information alone (access 0,
// OPEN_EXISTING: a FIFO or device is not opened itself) or for writing
// (GENERIC_WRITE): an existing one (OPEN_EXISTING; a FIFO without a reader
// is refused at once, not waited for), a new one (CREATE_NEW:
// ERROR_FILE_EXISTS when the name is taken, by a link too), or a new or
// emptied one (CREATE_ALWAYS: the last error is ERROR_ALREADY_EXISTS when it
// was there, else 0). FILE_FLAG_OPEN_REPARSE_POINT follows no link at the
// end of the name: with access 0 a link opens as itself.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
// Makes a directory; ERROR_ALREADY_EXISTS when the name is taken, by a
// directory or anything else, ERROR_PATH_NOT_FOUND when its parent is missing.
BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);
// What a name is, its last link not followed: FILE_ATTRIBUTE_REPARSE_POINT
// for a symbolic link (with FILE_ATTRIBUTE_DIRECTORY when it leads to a
// directory), FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DEVICE for a FIFO,
// socket or device, else FILE_ATTRIBUTE_NORMAL; INVALID_FILE_ATTRIBUTES, with
// the last error set, when nothing is there.
DWORD GetFileAttributesW(LPCWSTR name);
// FILE_TYPE_DISK for a file or directory, FILE_TYPE_CHAR for a character
// device or terminal, FILE_TYPE_PIPE for a FIFO or socket, else
// FILE_TYPE_UNKNOWN (with the last error 0, or set on failure).
DWORD GetFileType(HANDLE file);
// The path of an open file as the system finds it now, links resolved: at
// most `size` units with the 0; returns its length without the 0, the size
// needed (with the 0) when it does not fit, or 0 on failure. `flags` must be 0.
DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD flags);
// Removes a name (a link itself, never what it leads to); a directory is
// refused with ERROR_ACCESS_DENIED.
BOOL DeleteFileW(LPCWSTR name);
// Renames a file in one step. A name that is taken is replaced with
// MOVEFILE_REPLACE_EXISTING (a link there is replaced, never followed);
// without it the call fails with ERROR_ALREADY_EXISTS and changes nothing.
BOOL MoveFileExW(LPCWSTR existing, LPCWSTR replacement, DWORD flags);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
// On a standard handle that is a terminal the OEM bytes are shown as the
// characters they stand for (written as UTF-8); any other handle receives the
// bytes unchanged.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE handle);
HANDLE GetStdHandle(DWORD which);
// A standard handle that is a terminal is the console: GetConsoleMode
// succeeds for it alone (the mode it reports is 0).
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
// The code page in which the console shows the bytes written to it: 866
// (OEM bytes are shown as their characters) or CP_UTF8 (the bytes are UTF-8
// and go to the terminal unchanged).
UINT GetConsoleOutputCP();
BOOL SetConsoleOutputCP(UINT codePage);

struct COORD {
  short X;
  short Y;
};
struct SMALL_RECT {
  short Left;
  short Top;
  short Right;
  short Bottom;
};
struct CONSOLE_SCREEN_BUFFER_INFO {
  COORD dwSize;
  COORD dwCursorPosition;
  WORD wAttributes;
  SMALL_RECT srWindow;
  COORD dwMaximumWindowSize;
};
typedef CONSOLE_SCREEN_BUFFER_INFO* PCONSOLE_SCREEN_BUFFER_INFO;
// The terminal's size in character cells: srWindow spans its columns and rows.
BOOL GetConsoleScreenBufferInfo(HANDLE console, PCONSOLE_SCREEN_BUFFER_INFO info);

// The processors the process may run on, one bit each (the first 64).
HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
BOOL GetProcessAffinityMask(HANDLE process, PDWORD_PTR processMask, PDWORD_PTR systemMask);
// Milliseconds since an arbitrary start, never going back.
ULONGLONG GetTickCount64();

// Mappings. Mapping an empty file fails with ERROR_FILE_INVALID.
HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect,
                          DWORD maxSizeHigh, DWORD maxSizeLow, LPCWSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID view);

// Directory search. The last component is a pattern matched as Windows
// matches it: "*" any run, "?" one character, "*.*" every name, letter case
// ignored. Entries come in name order, "." and ".." first.
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
// The same search, given how much to tell (no short names here, so both
// levels tell the same) and what to look for: FindExSearchLimitToDirectories
// delivers directories only, and learns that an entry is none without asking
// the system about it. `filter` must be null.
enum FINDEX_INFO_LEVELS { FindExInfoStandard, FindExInfoBasic };
enum FINDEX_SEARCH_OPS { FindExSearchNameMatch, FindExSearchLimitToDirectories };
#define FIND_FIRST_EX_LARGE_FETCH 0x00000002u
HANDLE FindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID data, FINDEX_SEARCH_OPS op,
                        LPVOID filter, DWORD flags);
BOOL FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data);
BOOL FindClose(HANDLE search);

// Paths
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* filePart);

// Code pages: CP_OEMCP (code page 866) both ways; CP_UTF8 both ways, where a
// byte that is not part of valid UTF-8 becomes the lone surrogate U+DC80 +
// byte, as in names and arguments (Windows gives U+FFFD), so that a name
// read as UTF-8 reaches the file of those bytes.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR wide,
                        int wideSize);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int units, LPSTR text,
                        int textSize, LPCSTR defaultChar, LPBOOL usedDefault);
int lstrlenW(LPCWSTR text);

// System error texts, in Russian, each ending in "\r\n" as on Windows (or in "\n", see
// platform::systemTextsEndInLineFeed).
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                     LPWSTR buffer, DWORD size, void* arguments);
HLOCAL LocalFree(HLOCAL memory);

// Shell string functions
int StrCmpW(LPCWSTR a, LPCWSTR b);
int StrToIntW(LPCWSTR text);

// The program's entry on every platform; on POSIX, main() converts the
// arguments losslessly to UTF-16 and calls it.
extern "C" int wmain(int argc, WCHAR** argv);

namespace platform {
// Separator of path components.
constexpr unsigned short pathSeparator = u'/';
// There are no drives; "/" alone is the root.
constexpr bool hasDriveLetters = false;
// Directory links are walked into (a walk enters each directory once).
constexpr bool descendIntoDirectoryLinks = true;
// A CreateFileW flag (with GENERIC_READ and OPEN_EXISTING) for a file read
// to its end as a stream, a list file: opening a FIFO that has no writer
// waits for one, as cat does. Without it no open waits, so that an index or
// data file that is a FIFO never blocks the run.
constexpr DWORD openWaitsForWriter = 0x00010000u;
// No length of path is refused: the layer reaches any, a piece at a time.
constexpr int pathLimit = 0;

// A "/" at the start of an argument starts an absolute path, so it marks no
// switch by itself.
constexpr bool slashMarksSwitches = false;

// Sort keys for the order of StrCmpW: bytes compared lexicographically (memcmp on the common
// length, then the shorter first) in the same order as StrCmpW compares the texts, and equal
// exactly when StrCmpW finds the texts equal: when they are equal up to their first 0 unit, or
// weigh alike as Windows weighs them ("ß" and "ss"). Available where the program's own StrCmpW
// defines the order (POSIX); on Windows there is none and callers compare with StrCmpW.
constexpr bool hasSortKeys = true;
// Writes the sort key of the zero-terminated text: at most `room` bytes of it to `out`, and
// returns its whole length. A key cut to `room` bytes is a prefix of the whole key.
std::size_t sortKey(const WCHAR* text, unsigned char* out, std::size_t room);

// Runs body(context) and returns true; returns false instead when a read of a mapped file view
// faulted while it ran (the file was cut short by another program, or its storage went away):
// the body is then stopped at the faulting read, without unwinding, so it must be plain code that
// reads mapped bytes and writes memory it owns (no destructors to run, no locks held). Any thread
// may use it; it costs no system call per call.
bool guardMappedReads(void (*body)(void*), void* context);

// Memory of a large block not yet touched will be used whole: the system may back it with large
// pages (transparent huge pages), so that filling it takes far fewer page faults. A hint only.
void preferLargePages(void* start, std::size_t bytes);

// Bytes of a mapped file view that will not be read again soon: the whole pages among them leave
// the process's memory, and a later read brings them back from the file. A hint only.
void releaseMappedPages(const void* start, std::size_t bytes);

// Interruptions of the process (SIGINT, SIGTERM) end it with exit code 130 or 143, after removing
// the files that are on the list at that moment (the temporaries of output not yet complete). The
// first call sets this up (a signal the process was started ignoring stays ignored); each call adds
// `path` to the list, or takes it off. False when there is no room for it. The list holds each
// path as the system's bytes, made here, so that the handler only calls unlink and _exit; a path
// longer than PATH_MAX is not removed.
bool removeOnInterrupt(const WCHAR* path, bool add);

// What a directory search tells of the one entry that a path names, every character taken
// literally ("a?.00" is no pattern: names may hold "?" and "*" here). A link whose target is gone
// names nothing, as a missing file. False, with the last error set, when nothing is there.
bool findEntry(const WCHAR* path, WIN32_FIND_DATAW* data);

// The path by which the system reaches what a directory walk finds below `directory` (see the
// Windows branch): every path reaches its names as they are here, so it is `directory` itself.
inline std::u16string walkRoot(const WCHAR* directory) { return directory ? directory : u""; }

// Whether the locale's character set is UTF-8 (setlocale(LC_CTYPE, "") and nl_langinfo(CODESET)):
// then the user's texts (a terminal, pipes, files of names) are UTF-8. The process's own locale is
// left as it was. Asked by the main thread, before any other runs.
bool localeIsUtf8();
// The texts of FormatMessageW end in "\r\n", as those of Windows do, or from this call on in "\n"
// alone, for a reader of this system. Set before any other thread asks for a text.
void systemTextsEndInLineFeed(bool lineFeedAlone);
}  // namespace platform

#endif  // _WIN32

#endif  // TARVIN_PLATFORM_WIN32_H
