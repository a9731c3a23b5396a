// The usage text that /? prints (UTF-8; the program writes it in code page
// 866).
#ifndef TARVIN_E2E_USAGE_H
#define TARVIN_E2E_USAGE_H

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

#endif  // TARVIN_E2E_USAGE_H
