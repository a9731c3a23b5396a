// Writes the README.txt of the Windows .zip: the hand-written text of
// doc/README-windows.txt with the version put in for "@PROJECT_VERSION@" and,
// in place of its line "@HELP@", what tarvin.exe /help prints: the usage text
// and a line for each option, spelled as switches. It is UTF-8 with a byte
// order mark, which every Notepad reads as such, and its lines end in CR LF.
//
//   make_readme TEMPLATE VERSION OUTPUT
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "options.h"

namespace {

// The help as UTF-8.
std::string help() {
  const mstr text = helpText(runOptions::helpKind::options, spelling::switches);
  std::string bytes(static_cast<std::size_t>(text.get_count()) * 3, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.wide(), text.get_count(), &bytes[0],
                                    static_cast<int>(bytes.size()), nullptr, nullptr);
  bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return bytes;
}

void replace(std::string& text, const std::string& what, const std::string& with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_readme TEMPLATE VERSION OUTPUT\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string helpLine = "@HELP@\n";
  if (!in || text.find(helpLine) == std::string::npos) {
    std::fprintf(stderr, "make_readme: %s cannot be read or has no line @HELP@\n", argv[1]);
    return 1;
  }
  replace(text, "@PROJECT_VERSION@", argv[2]);
  replace(text, helpLine, help());
  std::string out = "\xEF\xBB\xBF";
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::ofstream file(argv[3], std::ios::binary);
  file << out;
  if (!file.flush()) {
    std::fprintf(stderr, "make_readme: %s cannot be written\n", argv[3]);
    return 1;
  }
  return 0;
}
