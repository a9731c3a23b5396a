// The last-error value, the translation of errno into Windows codes, and the
// system texts of those codes as a Russian Windows gives them.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "posix/internal.h"

namespace {

thread_local DWORD lastError = NO_ERROR;

// FormatMessageW's own error for a code without a text.
constexpr DWORD errorMessageNotFound = 317;

struct SystemText {
  DWORD code;
  const char16_t* text;
};

constexpr SystemText systemTexts[] = {
    {0, u"Операция успешно завершена.\r\n"},
    {2, u"Не удается найти указанный файл.\r\n"},
    {3, u"Системе не удается найти указанный путь.\r\n"},
    {4, u"Системе не удается открыть файл.\r\n"},
    {5, u"Отказано в доступе.\r\n"},
    {6, u"Неверный дескриптор.\r\n"},
    {8, u"Недостаточно памяти для обработки команды.\r\n"},
    {18, u"Больше файлов нет.\r\n"},
    {31, u"Присоединенное к системе устройство не работает.\r\n"},
    {38, u"Достигнут конец файла.\r\n"},
    {87, u"Параметр задан неверно.\r\n"},
    {122, u"Область данных, переданная системному вызову, слишком мала.\r\n"},
    {206, u"Имя файла или его расширение имеет неверную длину.\r\n"},
    {1006, u"Том для файла был изменен извне, поэтому открытый файл стал недействительным.\r\n"},
};

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

namespace platform::posix {

DWORD errorFromErrno(int error) {
  switch (error) {
    case 0:
      return NO_ERROR;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    default:
      return ERROR_GEN_FAILURE;
  }
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
  for (const SystemText& entry : systemTexts) {
    if (entry.code != messageId) continue;
    const std::size_t length = std::char_traits<char16_t>::length(entry.text);
    auto* copy = static_cast<WCHAR*>(std::malloc((length + 1) * sizeof(WCHAR)));
    if (copy == nullptr) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    std::memcpy(copy, entry.text, (length + 1) * sizeof(WCHAR));
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
