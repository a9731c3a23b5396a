// Writes the sample archive tree that README's first command converts:
// two directories, three index files, Russian and Latin reports, and one
// index that names a data file which is missing.
//
//   make_sample DIR
#include <cstdio>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "capture.h"

namespace {

std::vector<std::string> lines(std::initializer_list<const char*> utf8) {
  std::vector<std::string> out;
  for (const char* line : utf8) out.push_back(oem(line));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample DIR\n");
    return 2;
  }
  std::string root = argv[1];

  archive::writer north(root + "/2004", "NORTH.IDX");
  north.add("20040112", "000001", 1,
            lines({"Рапорт N 1", "", "Станция:   Северная", "Температура  -12.5", "Ветер       СЗ 7 м/с",
                   "------------------------------"}));
  north.add("20040112", "000002", 1,
            lines({"Рапорт N 2", "Станция:   Северная", "Давление    1016 гПа", "Замечаний нет."}));
  archive::report latin;
  latin.major = "20040113";
  latin.minor = "000003";
  latin.fileNumber = 2;
  latin.lines = {"Report No 3", "Station:   NORTH-2", "Pressure    1009 hPa", "    ====    ====    ===="};
  latin.how.digitsAsCodes = true;
  north.add(latin);
  north.write();

  archive::writer south(root + "/2004/south", "SOUTH.IDX");
  south.add("20040201", "000001", 0, lines({"Рапорт N 1 (юг)", "Осадки      0 мм", "Видимость   10 км"}));
  south.add("20040202", "000002", 5, lines({"Этот рапорт лежит в файле, которого нет."}));
  south.omitDataFile(5);
  south.write();

  archive::writer old(root + "/2005", "ARCHIVE.IDX");
  old.add("20050301", "000001", 7, lines({"Рапорт за 2005 год", "Всё спокойно."}));
  old.add("20050302", "000002", 7, lines({"Report 2", "All quiet."}));
  old.write();
  return 0;
}
