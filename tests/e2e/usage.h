// The usage text that /? prints (UTF-8; the program writes it in code page
// 866).
#ifndef TARVIN_E2E_USAGE_H
#define TARVIN_E2E_USAGE_H

#include <string>

inline constexpr char kUsage[] =
    "Программа для конверсии рапортов Molvar в текстовый файл(v1.0)\n\n"
    "  в параметры указать пути по котрым искать файлы с расширением idx создаваемые Molvar.\n\n"
    "  Можно указать список таких путей в файле, который передать с в формате @имя_файла.\n\n"
    "  Пример запуска: Tarvin c:\\molvar\\2004\n"
    "     Конверсия всех рапортов в указанном каталоге\n"
    "  Можно выполнить следующее: Tarvin c:\\molvar\\2004 c:\\molvar\\2005\n"
    "     Конвертированные данные выводятся в окно запуска, чтобы получить их в файле надо добавить к "
    "команде >имя_файла\n"
    "  Пример: Tarvin c:\\molvar\\2004 c:\\molvar\\2005 >2004-2005.txt\n";

// What -h, --help and /help print (UTF-8): the usage text, an empty line and
// a line for each of the converter's options, spelled as `option` spells
// them ("--utf8" or "/utf8"), with the short forms of the platform.
template <class Spell>
std::string helpText(Spell option, bool windows) {
  const char* const lines[][2] = {
      {"utf8", "стандартный вывод и сообщения об ошибках в UTF-8, а не в кодовой странице OEM"},
      {"oem", "вывод, сообщения и списки в кодовой странице OEM (866), байт в байт как в Windows"},
      {"null", "каталоги в списках (@ФАЙЛ) кончаются байтом NUL, а не концом строки (find -print0)"},
      {"jsonl", "вместо текстов - по объекту JSON на рапорт, каждый в своей строке (UTF-8)"},
      {"list", "те же объекты без текстов: что хранят архивы, без декодирования"},
      {"strict", "код завершения 1 и тогда, когда были только повреждённые данные"},
      {"verify", "проверка: всё прочитать, проверить коды рапортов, вывести повреждения и итог вместо текстов"},
      {"salvage", "также байты файлов рапортов, не названные ни одной записью индекса"},
      {"quiet", "без строки хода работы на терминале"},
      {"trim", "без пустых строк в конце рапорта (заполнение его последнего блока)"},
      {"key", "только рапорты, ключ которых подходит под шаблон (* и ?; можно несколько раз)"},
      {"output", "стандартный вывод - в этот файл (существующий файл заменяется; - стандартный вывод)"},
      {"split", "по файлу .txt на индекс в этом каталоге, по пути индекса ниже каталога поиска"},
      {"force", "при разбиении по файлам заменять файлы, которые уже были"},
      {"simd", "уровень декодирования для измерений: scalar, avx2 или avx512"},
      {"version", "версия программы"},
      {"help", "эта справка"},
  };
  std::string text = std::string(kUsage) + "\n";
  for (const auto& line : lines) {
    const std::string word = line[0];
    const char* const values[][2] = {{"simd", "УРОВЕНЬ"}, {"key", "ШАБЛОН"}, {"output", "ФАЙЛ"}, {"split", "КАТАЛОГ"}};
    std::string name = option(word);
    for (const auto& value : values)
      if (word == value[0]) name = option(word, value[1]);
    // The short forms: where options are long options "-q", "-o", "-V", "-h"; as switches "/o".
    const std::string letter = word == "version" ? "V" : word == "null" ? "0" : word.substr(0, 1);
    if (word == "output" || (!windows && (word == "quiet" || word == "version" || word == "help" || word == "null")))
      name = (windows ? "/" : "-") + letter + ", " + name;
    std::string start = "  " + name;
    // Padded to 24 characters (the Cyrillic ones are two bytes each here).
    std::size_t characters = 0;
    for (unsigned char c : start) characters += (c & 0xC0) != 0x80;
    do start += ' ', ++characters;
    while (characters < 24);
    text += start + line[1] + "\n";
  }
  // Where the locale decides the encoding (options spelled "--"), how to have either one.
  if (!windows)
    text += "Кодировка - как в локали: UTF-8 или кодовая страница 866; " + option("utf8") + " - UTF-8, " +
            option("oem") + " - байты Windows (866).\n";
  return text + "\nКоды завершения: 0 - всё сконвертировано; 1 - сконвертировано не всё: было сообщение об\n" +
         "ошибке или вывод не записан, а при " + option("strict") + " или " + option("verify") +
         " и повреждённые данные; 2 - ошибка в параметрах.\n";
}

#endif  // TARVIN_E2E_USAGE_H
