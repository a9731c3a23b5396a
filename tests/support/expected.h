// The texts the program writes, as the tests expect them, in code page 866
// (utf8() of them for what a terminal or --utf8 shows): each report's text
// followed by its separator, error texts in their layout, and size lines.
#ifndef TARVIN_TESTS_EXPECTED_H
#define TARVIN_TESTS_EXPECTED_H

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "capture.h"
#include "errorOrigins.h"

inline std::string separatorLine(long n) { return "+++" + std::to_string(n) + "\n"; }

// The texts, each followed by its separator, numbered from `first`.
inline std::string numbered(const std::vector<std::string>& texts, long first = 0) {
  std::string out;
  for (const std::string& t : texts) out += t + separatorLine(first++);
  return out;
}

// The last line of an error text from this origin, without its line feed.
inline std::string whereLine(const errorOrigin& at) {
  return std::string("in module ") + at.module + " func <" + at.function + "> in string " + std::to_string(at.line);
}

// An error text: the system's error code, the message (UTF-8), and where it
// says it was raised.
inline std::string errorText(unsigned sysError, const std::string& utf8Message, const errorOrigin& at) {
  return oem("Error number " + std::to_string(sysError) + ": " + utf8Message + "\n" + whereLine(at) + "\n");
}

// The error of a record whose data file is not there, for each such record.
inline std::string missingDataFile(const std::string& path) {
  return errorText(0, "Нет указанного в индексе файла рапортов " + path, origin::dataFileMissing);
}

// The warnings of bytes that no index record names: a whole data file of
// `bytes` bytes (orphaned), or its first `bytes` bytes.
inline std::string unnamedBytes(const std::string& path, std::uint64_t bytes, bool orphaned = true) {
  const std::string n = std::to_string(bytes);
  const std::string what = orphaned ? "Файл рапортов (байтов: " + n + ") не назван" : "Первые " + n + " байтов файла рапортов не названы";
  return errorText(0, what + " ни одной записью индекса: " + path,
                   orphaned ? origin::orphanedData : origin::unreferencedBytes);
}

// Whether the last line of an error text is that of a warning of bytes that
// no index record names.
inline bool isWarningWhere(const std::string& where) {
  return where == whereLine(origin::orphanedData) || where == whereLine(origin::unreferencedBytes);
}

// Standard error without the warnings of bytes that no index record names.
inline std::string withoutWarnings(const std::string& err) {
  std::string kept;
  for (std::size_t at = 0; at < err.size();) {
    std::size_t end = err.find("\nin module ", at);
    end = end == std::string::npos ? err.size() : std::min(err.find('\n', end + 1) + 1, err.size());
    const std::string text = err.substr(at, end - at);
    const std::size_t where = text.find("\nin module ");
    if (where == std::string::npos || text.back() != '\n' ||
        !isWarningWhere(text.substr(where + 1, text.size() - where - 2)))
      kept += text;
    at = end;
  }
  return kept;
}

// The error texts among what standard error holds: every text in the error
// layout but the warnings of bytes that no index record names, and the
// program's own one-line texts but the warning of an unknown switch.
inline int errorTextsIn(const std::string& err) {
  int count = 0;
  for (std::size_t at = 0; at < err.size(); at = err.find('\n', at) + 1) {
    const std::string line = err.substr(at, err.find('\n', at) - at);
    if (line.compare(0, 8, "tarvin: ") == 0 && line.compare(0, 24, oem("tarvin: неизвестный ключ")) != 0) ++count;
    // The JSON forms: error objects but warnings, and the one-line texts that count.
    if (line.compare(0, 8, "{\"code\":") == 0 && line.find("\"level\":\"warning\"") == std::string::npos) ++count;
    for (const char* kind : {"nothing found", "empty list", "failure"})
      if (line.compare(0, 9, "{\"kind\":\"") == 0 && line.compare(9, std::strlen(kind) + 1, kind + std::string("\"")) == 0)
        ++count;
    if (err.find('\n', at) == std::string::npos) break;
  }
  for (std::size_t at = err.find("\nin module "); at != std::string::npos; at = err.find("\nin module ", at + 1)) {
    const std::size_t end = err.find('\n', at + 1);
    const std::string where = err.substr(at + 1, end - at - 1);
    count += !isWarningWhere(where);
  }
  return count;
}

// The line that follows the release of a text of this many characters.
inline std::string sizeLine(std::size_t units) { return oem("<>Размер строки<> ") + std::to_string(units) + "\n"; }

#endif  // TARVIN_TESTS_EXPECTED_H
