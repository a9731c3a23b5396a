// The scratch tree for the archives of one end-to-end case, the forms its
// paths take on the command line and in messages, and the error texts whose
// system part is the target's.
#ifndef TARVIN_E2E_FIXTURE_H
#define TARVIN_E2E_FIXTURE_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "expected.h"
#include "target.h"
#include "temp_tree.h"

class archiveTree : public ::testing::Test {
 protected:
  // A path below the directory, on this machine.
  std::string at(const std::string& relative) const { return tree.path(relative); }
  // The same path as the program is given it.
  std::string arg(const std::string& relative) const { return program.path(at(relative)); }
  // The same path as the program prints it.
  std::string shown(const std::string& relative) const { return program.path(at(relative)); }

  // Writes an archive of one report per key in data file 1 and returns its
  // expected texts.
  std::vector<std::string> simpleArchive(const std::string& dir, const std::string& index,
                                         std::initializer_list<const char*> keys) const {
    archive::writer w(at(dir), index);
    for (const char* key : keys) w.add(key, "", 1, {std::string("report ") + key});
    w.write();
    return w.expected();
  }

  TempTree tree{"e2e"};
  const std::string root = tree.path();
};

// The error texts of files that the class library could not open, map or
// read, of an unreadable list file or directory, and of output that could
// not be written.
inline std::string openFailed(unsigned code, const std::string& shownPath) {
  return errorText(code, program.systemText(code) + "func=CreateFile filename=" + shownPath, origin::fileOpen);
}
inline std::string mappingFailed(const std::string& shownPath) {
  return errorText(1006, program.systemText(1006) + "func=CreateFileMapping filename=" + shownPath,
                   origin::fileMapping);
}
// Another program cut the mapped file short, or made it unreadable.
inline std::string readFault(const std::string& shownPath) {
  return errorText(38,
                   program.systemText(38) +
                       "func=MapViewOfFile Чтение отображённого файла прервано: файл укорочен или недоступен. filename=" +
                       shownPath,
                   origin::mappedReadFault);
}
inline std::string listFileFailed(unsigned code, const std::string& shownPath) {
  return errorText(code, program.systemText(code) + "func=CreateFile filename=" + shownPath, origin::listFileOpen);
}
// A directory that names nothing, or that the system cannot search.
inline std::string unlistedDirectory(unsigned code, const std::string& shownPath, bool utf8Output = false) {
  return errorText(code, program.systemText(code, utf8Output) + "func=FindFirstFile filename=" + shownPath,
                   origin::directoryUnlisted);
}
// The summary line of a verifying run (UTF-8 in words, or JSON) of these
// counts, in the order it tells them.
inline std::string verifySummary(const std::vector<unsigned long long>& counts, bool json = false) {
  static const char* const names[][2] = {
      {"indexes", "Проверено индексов: "}, {"indexesFailed", ", не прочитано: "}, {"reports", "; рапортов: "},
      {"bytes", ", байтов: "}, {"dataUsed", "; файлов данных: "}, {"dataMissing", ", нет: "},
      {"dataUnreadable", ", не прочитано: "}, {"dataOrphaned", ", осиротевших: "},
      {"directoriesUnreadable", "; каталогов не прочитано: "}, {"rangesUnreferenced", "; участков без ссылок: "},
      {"bytesUnreferenced", ", байтов без ссылок: "}, {"salvaged", ", восстановлено рапортов: "},
      {"damaged", "; повреждено: "}, {"errors", ", ошибок: "}};
  std::string line;
  for (std::size_t i = 0; i < counts.size(); ++i)
    line += json ? (i ? ",\"" : "{\"") + std::string(names[i][0]) + "\":" + std::to_string(counts[i])
                 : names[i][1] + std::to_string(counts[i]);
  return line + (json ? "}\n" : "\n");
}
inline std::string outputLost(unsigned code) {
  return errorText(code, program.systemText(code) + "func=WriteFile Данные не записаны в стандартный вывод.",
                   origin::outputLost);
}

#endif  // TARVIN_E2E_FIXTURE_H
