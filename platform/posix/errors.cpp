// The last-error value, the translation of errno into Windows codes, and the
// system texts of those codes as a Russian Windows gives them.
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "posix/internal.h"

namespace {

thread_local DWORD lastError = NO_ERROR;

// Whether the texts end in "\n" alone rather than in the "\r\n" of Windows.
std::atomic<bool> lineFeedAlone{false};

// FormatMessageW's own error for a code without a text.
constexpr DWORD errorMessageNotFound = 317;

// Every Windows code the layer gives: the errno values that stand for it, and
// the text a Russian Windows gives for it. An errno value gets the code that
// Windows gives for the same failure, that is the code kernel32 makes of the
// NT status of that failure (a full disk 112, a link loop 1921). The values
// are those that open, read, write, fstat, mmap, mkdir, opendir, readdir and getcwd
// give, on local and on network file systems; rows without one are codes the
// layer sets itself. Any other errno value is ERROR_GEN_FAILURE.
struct SystemError {
  DWORD code;
  int errnos[4];  // 0 ends the list
  const char16_t* text;
};

constexpr SystemError systemErrors[] = {
    {NO_ERROR, {}, u"Операция успешно завершена.\r\n"},
    {ERROR_INVALID_FUNCTION, {ENOSYS}, u"Неверная функция.\r\n"},
    {ERROR_FILE_NOT_FOUND, {ENOENT, ENXIO}, u"Не удается найти указанный файл.\r\n"},
    {ERROR_PATH_NOT_FOUND, {ENOTDIR}, u"Системе не удается найти указанный путь.\r\n"},
    {ERROR_TOO_MANY_OPEN_FILES, {EMFILE, ENFILE}, u"Системе не удается открыть файл.\r\n"},
    {ERROR_ACCESS_DENIED, {EACCES, EPERM, EISDIR}, u"Отказано в доступе.\r\n"},
    {ERROR_INVALID_HANDLE, {EBADF}, u"Неверный дескриптор.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, {ENOMEM}, u"Недостаточно памяти для обработки команды.\r\n"},
    {ERROR_NO_MORE_FILES, {}, u"Больше файлов нет.\r\n"},
    {ERROR_WRITE_PROTECT, {EROFS}, u"Носитель защищен от записи.\r\n"},
#ifdef ENOMEDIUM
    {ERROR_NOT_READY, {ENOMEDIUM}, u"Устройство не готово.\r\n"},
#endif
    {ERROR_GEN_FAILURE, {}, u"Присоединенное к системе устройство не работает.\r\n"},
    {ERROR_SHARING_VIOLATION, {EAGAIN, EWOULDBLOCK, ETXTBSY},
     u"Процесс не может получить доступ к файлу, так как этот файл занят другим процессом.\r\n"},
    {ERROR_HANDLE_EOF, {}, u"Достигнут конец файла.\r\n"},
    {ERROR_NOT_SUPPORTED, {EOPNOTSUPP, ENOTSUP, ENODEV}, u"Запрос не поддерживается.\r\n"},
    {ERROR_BAD_NETPATH, {EHOSTDOWN, EHOSTUNREACH, ENETDOWN, ENETUNREACH}, u"Не найден сетевой путь.\r\n"},
    {ERROR_NETNAME_DELETED, {ECONNRESET, ENOTCONN}, u"Указанное сетевое имя более недоступно.\r\n"},
    {ERROR_FILE_EXISTS, {EEXIST}, u"Файл существует.\r\n"},
    {ERROR_INVALID_PARAMETER, {EINVAL}, u"Параметр задан неверно.\r\n"},
    {ERROR_DISK_FULL, {ENOSPC, EDQUOT}, u"Недостаточно места на диске.\r\n"},
    {ERROR_SEM_TIMEOUT, {ETIMEDOUT}, u"Превышен таймаут семафора.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, {}, u"Область данных, переданная системному вызову, слишком мала.\r\n"},
    {ERROR_INVALID_NAME, {EILSEQ}, u"Синтаксическая ошибка в имени файла, имени папки или метке тома.\r\n"},
    {ERROR_BUSY, {EBUSY}, u"Требуемый ресурс занят.\r\n"},
    {ERROR_ALREADY_EXISTS, {}, u"Невозможно создать файл, так как он уже существует.\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, {ENAMETOOLONG}, u"Имя файла или его расширение имеет неверную длину.\r\n"},
    {ERROR_DIRECTORY, {}, u"Неверно задано имя папки.\r\n"},
    {ERROR_FILE_TOO_LARGE, {EFBIG, EOVERFLOW},
     u"Размер файла превышает установленное ограничение, сохранение файла невозможно.\r\n"},
    {ERROR_NO_DATA, {EPIPE}, u"Идет закрытие канала.\r\n"},
    {ERROR_OPERATION_ABORTED, {EINTR, ECANCELED},
     u"Операция ввода/вывода была прервана из-за завершения потока команд или по запросу приложения.\r\n"},
    {ERROR_FILE_INVALID, {ESTALE},
     u"Том для файла был изменен извне, поэтому открытый файл стал недействительным.\r\n"},
    {ERROR_IO_DEVICE, {EIO}, u"Запрос не был выполнен из-за ошибки ввода/вывода на устройстве.\r\n"},
    {ERROR_NO_SYSTEM_RESOURCES, {ENOBUFS}, u"Недостаточно системных ресурсов для завершения операции.\r\n"},
    {ERROR_CANT_RESOLVE_FILENAME, {ELOOP}, u"Имя этого файла не может быть разрешено системой.\r\n"},
};

// FormatMessageW makes the "\n" form of a text by dropping the "\r" before its end.
constexpr bool everyTextEndsInCrLf() {
  for (const SystemError& entry : systemErrors) {
    std::size_t n = 0;
    while (entry.text[n]) ++n;
    if (n < 2 || entry.text[n - 2] != u'\r' || entry.text[n - 1] != u'\n') return false;
  }
  return true;
}
static_assert(everyTextEndsInCrLf());

// Whether the directory that would hold path exists: the part before the last
// "/" ("." for a bare name, "/" for a name right under the root).
bool parentDirectoryExists(const std::string& path) {
  std::size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;  // "a/b/" names "a/b"
  const std::size_t slash = path.rfind('/', end - 1);
  if (slash == std::string::npos) return true;  // the current directory
  if (slash == 0) return true;                   // the root
  struct stat info;
  const std::string directory = path.substr(0, slash);
  return platform::posix::longPath(directory).stat(&info, 0) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

namespace platform {

void systemTextsEndInLineFeed(bool alone) { lineFeedAlone.store(alone, std::memory_order_relaxed); }

}  // namespace platform

namespace platform::posix {

DWORD errorFromErrno(int error) {
  if (error == 0) return NO_ERROR;
  for (const SystemError& entry : systemErrors) {
    for (int value : entry.errnos) {
      if (value == error) return entry.code;
    }
  }
  return ERROR_GEN_FAILURE;
}

DWORD errorFromErrno(int error, const std::string& path) {
  if (error == ENOENT && !path.empty() && !parentDirectoryExists(path)) {
    return ERROR_PATH_NOT_FOUND;
  }
  return errorFromErrno(error);
}

}  // namespace platform::posix

DWORD FormatMessageW(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD /*languageId*/,
                     LPWSTR buffer, DWORD /*size*/, void* /*arguments*/) {
  // Only the form the program uses: the system's text in a new buffer whose
  // address goes to the LPWSTR that "buffer" points at.
  constexpr DWORD supported =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  if ((flags & ~0xFFu) != supported || buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto* result = reinterpret_cast<LPWSTR*>(buffer);
  *result = nullptr;
  for (const SystemError& entry : systemErrors) {
    if (entry.code != messageId) continue;
    std::size_t length = std::char_traits<char16_t>::length(entry.text);
    auto* copy = static_cast<WCHAR*>(std::malloc((length + 1) * sizeof(WCHAR)));
    if (copy == nullptr) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    std::memcpy(copy, entry.text, (length + 1) * sizeof(WCHAR));
    if (lineFeedAlone.load(std::memory_order_relaxed)) {
      copy[length - 2] = u'\n';  // every text ends in "\r\n"
      copy[--length] = 0;
    }
    *result = copy;
    return static_cast<DWORD>(length);
  }
  SetLastError(errorMessageNotFound);
  return 0;
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}
