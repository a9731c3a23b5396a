// The end-to-end suite: runs the built program on archive trees that the
// tests write, and compares its output byte for byte.
//
//   e2e_tests --tarvin=PATH [--runner=COMMAND] [--windows] [--sanitized]
//             [--system=windows|wine] [gtest flags]
//
// --system names what runs a Windows build; without it, Wine when the runner
// is Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "target.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string system;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--tarvin=", 0) == 0) {
      program.binary = a.substr(9);
      // Tests run the program from other working directories.
      if (char* full = realpath(program.binary.c_str(), nullptr)) {
        program.binary = full;
        std::free(full);
      }
    } else if (a.rfind("--runner=", 0) == 0) {
      std::istringstream words(a.substr(9));
      for (std::string w; words >> w;) program.runner.push_back(w);
    } else if (a == "--windows") {
      program.windows = true;
    } else if (a == "--sanitized") {
      program.sanitized = true;
    } else if (a.rfind("--system=", 0) == 0) {
      system = a.substr(9);
    }
  }
  for (const std::string& word : program.runner)
    if (system.empty() && word.find("wine") != std::string::npos) system = "wine";
  if (system == "wine") {
    program.system = windowsSystem::wine;
  } else if (!system.empty() && system != "windows") {
    std::fprintf(stderr, "e2e_tests: --system is windows or wine\n");
    return 2;
  }
  // On POSIX the locale decides the program's encoding: the suite expects the
  // Windows bytes of the C locale, unless a case asks for a locale of its
  // own. Wine keeps the locale it was started in.
  if (!program.windows) setenv("LC_ALL", "C", 1);
  if (program.binary.empty()) {
    std::fprintf(stderr, "e2e_tests: give the program with --tarvin=PATH\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
