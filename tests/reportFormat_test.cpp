// The format of a run's output, byte for byte: separators, JSON objects,
// error texts and size lines.
#include "reportFormat.h"

#include <gtest/gtest.h>

#include <string>

#include "archive_writer.h"
#include "expected.h"
#include "text.h"

namespace {

std::string bytesOf(const mbytes& out) {
  return std::string(reinterpret_cast<const char*>(out.get_data()), static_cast<std::size_t>(out.get_count()));
}

TEST(ReportFormat, WhatSurroundsAReportInEachForm) {
  TempTree tree;
  archive::writer w(tree.path(), "A.IDX");
  w.add(oem("Ключ\""), "1", 7, {"x"});
  w.add("K2", "", 3, {"lost"});
  w.omitDataFile(3);
  w.write();
  mFileIndex index;
  index.open(text(tree, "A.IDX"), [](mEx&) {});
  const mIndexEntry& lost = *index.entries.first()->value;  // Latin before Cyrillic
  const mIndexEntry& kept = *index.entries.last()->value;
  const std::string path = "\"" + tree.path("A.IDX") + "\"";
  const struct {
    reportFormat::kind how;
    const mIndexEntry& entry;
    const char* opening;
    std::string closing;
    const char16_t* salvagedFrom = nullptr;  // a salvaged report of this data file
  } rows[] = {
      {reportFormat::kind::plain, kept, "", separatorLine(41)},
      {reportFormat::kind::jsonl, kept, ",\"key\":\"Ключ\\\"1\",\"data\":\"A.07\",\"block\":0,\"bytes\":64,\"text\":\"",
       "\"}\n"},
      {reportFormat::kind::list, lost, ",\"key\":\"K2\",\"data\":null,\"block\":0,\"bytes\":null", "}\n"},
      {reportFormat::kind::list, kept, ",\"key\":null,\"salvaged\":true,\"data\":\"/d/A.07\",\"block\":0,\"bytes\":64",
       "}\n", u"/d/A.07"},
  };
  for (const auto& r : rows) {
    reportFormat format({r.how}, mOutput::get());
    if (r.salvagedFrom)
      format.beginSalvage(index, r.salvagedFrom);
    else
      format.beginIndex(index, text(tree, "A.IDX"));
    mbytes out;
    const std::size_t at = format.opening(out, r.entry, index.range(r.entry), 41);
    if (r.how == reportFormat::kind::plain) {
      EXPECT_EQ(at, reportFormat::kNoNumber);
      EXPECT_EQ(bytesOf(out), "");
    } else {
      EXPECT_EQ(at, 5u);
      EXPECT_EQ(bytesOf(out), "{\"n\":41,\"index\":" + (r.salvagedFrom ? "null" : path) + r.opening);
    }
    out.clear();
    const std::size_t after = format.closing(out, r.entry, index.range(r.entry), 41, reportReader::result{});
    EXPECT_EQ(bytesOf(out), r.closing);
    EXPECT_EQ(after, r.how == reportFormat::kind::plain ? 3u : reportFormat::kNoNumber);
    // The output text of a plain report: its text, "+++" and the number.
    EXPECT_EQ(format.outputUnits(10, 41), r.how == reportFormat::kind::plain ? 15u : 0u);
  }
  // A salvaged report has no key, which no pattern matches, not even "*".
  reportFormat::settings keyed;
  keyed.keys = {mstr(u"*")};
  reportFormat format(keyed, mOutput::get());
  format.beginIndex(index, text(tree, "A.IDX"));
  EXPECT_TRUE(format.selects(kept));
  format.beginSalvage(index, u"/d/A.07");
  EXPECT_FALSE(format.selects(kept));
}

constexpr errorOrigin kHere{"mod", 5, "fn", 1};

TEST(ReportFormat, ErrorTextsAndSizeLinesGoWhereTheFormSays) {
  for (auto how : {reportFormat::kind::plain, reportFormat::kind::jsonl}) {
    SCOPED_TRACE(static_cast<int>(how));
    reportFormat format({how}, mOutput::get());
    captured c = capture([&] {
      mEx e(kHere);
      e.appendText(u"текст");
      format.error(e, errorLevel::report);
      format.unnamedBytes(u"/d/A.07", 64, true);  // a warning: no error text
      format.sizeLine(10000);
      format.sizeLine(10001);
      format.unexpectedFailure(6);
      mOutput::get().flush();
    });
    const std::string text = errorText(0, "текст", kHere) + unnamedBytes("/d/A.07", 64);
    const std::string lines = sizeLine(10001) + oem("Ошибка! 6\n");
    // In the JSON modes standard error holds JSON objects alone: an error's
    // with its whole text, and one for each line of the program's own.
    const std::string objects =
        "{\"code\":0,\"message\":\"текст\",\"file\":\"mod\",\"function\":\"fn\",\"line\":5,\"level\":\"report\","
        "\"text\":\"Error number 0: текст\\nin module mod func <fn> in string 5\"}\n"
        "{\"code\":0,\"message\":\"Файл рапортов (байтов: 64) не назван ни одной записью индекса: /d/A.07\",\"file\":\"" +
        std::string(origin::orphanedData.module) + "\",\"function\":\"" + origin::orphanedData.function +
        "\",\"line\":" + std::to_string(origin::orphanedData.line) + ",\"level\":\"warning\",\"text\":\"Error number 0: "
        "Файл рапортов (байтов: 64) не назван ни одной записью индекса: /d/A.07\\n" + whereLine(origin::orphanedData) +
        "\"}\n"
        "{\"kind\":\"size line\",\"text\":\"<>Размер строки<> 10001\"}\n{\"kind\":\"failure\",\"text\":\"Ошибка! 6\"}\n";
    EXPECT_EQ(c.err, how == reportFormat::kind::plain ? text : objects);
    EXPECT_EQ(c.out, how == reportFormat::kind::plain ? lines : "");
    EXPECT_EQ(format.errorTexts(), 2u);
  }
}

}  // namespace
