// The end-to-end suite: runs the built program on archive trees that the
// tests write, and compares its output byte for byte.
//
//   e2e_tests --tarvin=PATH [--runner=COMMAND] [--windows] [--sanitized]
//             [--system-texts=windows|wine] [gtest flags]
//
// The system texts are Wine's when the runner is Wine, unless told otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "target.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string texts;
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
    } else if (a.rfind("--system-texts=", 0) == 0) {
      texts = a.substr(15);
    }
  }
  for (const std::string& word : program.runner)
    if (texts.empty() && word.find("wine") != std::string::npos) texts = "wine";
  if (texts == "wine") {
    program.texts = systemTexts::wine;
  } else if (!texts.empty() && texts != "windows") {
    std::fprintf(stderr, "e2e_tests: --system-texts is windows or wine\n");
    return 2;
  }
  if (program.binary.empty()) {
    std::fprintf(stderr, "e2e_tests: give the program with --tarvin=PATH\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
