// The status line, on the standard error of the output it is given.
#include "progress.h"

#include <gtest/gtest.h>

#include <string>

#include "capture.h"

namespace {

// Drawn with the names of the directory shown as a terminal shows them,
// taken away for an error text, and at the end replaced by a summary line
// (the times left out: they are not the test's).
TEST(Progress, ShowsADirectoryStepsAsideForErrorsAndEndsInASummary) {
  capturedOutput streams;
  {
    progress shown(streams.output);
    shown.directory(u"/a\x1b" u"b", 3);
    shown.reports(2);
    streams.output.errorText(reinterpret_cast<const unsigned short*>(u"E\n"), 2);
    shown.finish(1);
  }
  const std::string err = streams.taken().err;
  const std::size_t drawn = err.find("/a^[b");
  ASSERT_NE(drawn, std::string::npos);
  EXPECT_EQ(err.rfind("\r" + oem("Рапортов: 0, 0,0 МБ, индексов: 0 из 3, "), 0), 0u);
  const std::string blank = "\r" + std::string(drawn + 5 - 1, ' ') + "\rE\n";  // over the line drawn, less its "\r"
  EXPECT_EQ(err.compare(drawn + 5, blank.size(), blank), 0) << err;
  const std::string summary = oem("Готово. Рапортов: 2, 0,0 МБ, ошибок: 1, ");
  EXPECT_NE(err.find(summary, drawn + 5 + blank.size()), std::string::npos) << err;
  EXPECT_EQ(err.back(), '\n');
}

}  // namespace
