#include "target.h"

#include <map>
#include <stdexcept>

target program;

std::string target::path(const std::string& hostPath) const {
  if (!windows) return hostPath;
  std::string out = hostPath[0] == '/' ? "Z:" + hostPath : hostPath;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

std::string target::systemText(unsigned code, bool utf8Output) const {
  // The Russian texts of Windows, which the POSIX build gives as well.
  static const std::map<unsigned, std::string> windowsTexts = {
      {1, "Неверная функция.\r\n"},
      {2, "Не удается найти указанный файл.\r\n"},
      {3, "Системе не удается найти указанный путь.\r\n"},
      {5, "Отказано в доступе.\r\n"},
      {6, "Неверный дескриптор.\r\n"},
      {8, "Недостаточно памяти для обработки команды.\r\n"},
      {31, "Присоединенное к системе устройство не работает.\r\n"},
      {38, "Достигнут конец файла.\r\n"},
      {80, "Файл существует.\r\n"},
      {112, "Недостаточно места на диске.\r\n"},
      {267, "Неверно задано имя папки.\r\n"},
      {1006, "Том для файла был изменен извне, поэтому открытый файл стал недействительным.\r\n"},
      {1921, "Имя этого файла не может быть разрешено системой.\r\n"},
  };
  // What Wine (8.0, LANG=ru_RU.UTF-8) gives: its own Russian translations,
  // which differ from Windows's texts in wording, not in layout.
  static const std::map<unsigned, std::string> wineTexts = {
      {1, "Неверная функция.\r\n"},
      {2, "Файл не найден.\r\n"},
      {3, "Путь не найден.\r\n"},
      {5, "Доступ запрещён.\r\n"},
      {6, "Неверный дескриптор.\r\n"},
      {8, "Недостаточно памяти для выполнения команды.\r\n"},
      {31, "Общая ошибка.\r\n"},
      {38, "Достигнут конец файла.\r\n"},
      {80, "Файл уже существует.\r\n"},
      {112, "Диск полностью заполнен.\r\n"},
      {123, "Неверное имя.\r\n"},
      {267, "Неверно задано имя каталога.\r\n"},
      {1006, "Неверный файл.\r\n"},
  };
  const auto& texts = underWine() ? wineTexts : windowsTexts;
  auto found = texts.find(code);
  if (found == texts.end()) throw std::runtime_error("no text for system error " + std::to_string(code));
  if (windows || !utf8Output) return found->second;
  return found->second.substr(0, found->second.size() - 2) + "\n";
}
