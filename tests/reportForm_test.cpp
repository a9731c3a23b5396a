// The forms of a run's output, byte for byte: separators, JSON objects,
// error texts and size lines.
#include "reportForm.h"

#include <gtest/gtest.h>

#include <string>

#include "archive_writer.h"
#include "errorSink.h"
#include "expected.h"
#include "keyFilter.h"
#include "text.h"
#include "textForms.h"
#include "verifyForm.h"

namespace {

std::string bytesOf(const mbytes& out) {
  return std::string(reinterpret_cast<const char*>(out.get_data()), static_cast<std::size_t>(out.get_count()));
}

TEST(ReportForm, WhatSurroundsAReportInEachForm) {
  TempTree tree;
  archive::writer w(tree.path(), "A.IDX");
  w.add(oem("Ключ\""), "1", 7, {"x"});
  w.add("K2", "", 3, {"lost"});
  w.omitDataFile(3);
  w.write();
  mFileIndex index;
  const mstr path = text(tree, "A.IDX");
  index.open(path, [](mEx&) {});
  const mIndexEntry& lost = *index.entries.first()->value;  // Latin before Cyrillic
  const mIndexEntry& kept = *index.entries.last()->value;
  const std::string quotedPath = "\"" + tree.path("A.IDX") + "\"";
  plainForm plain(false, false);
  jsonLinesForm jsonLines(false);
  listForm list(false);
  const mstr salvagedFrom(u"/d/A.07");
  const struct {
    reportForm& form;
    const mIndexEntry& entry;
    const char* opening;
    std::string closing;
    bool salvaged = false;  // a salvaged report of data file /d/A.07
  } rows[] = {
      {plain, kept, "", separatorLine(41)},
      {jsonLines, kept, ",\"key\":\"Ключ\\\"1\",\"data\":\"A.07\",\"block\":0,\"bytes\":64,\"text\":\"", "\"}\n"},
      {list, lost, ",\"key\":\"K2\",\"data\":null,\"block\":0,\"bytes\":null", "}\n"},
      {list, kept, ",\"key\":null,\"salvaged\":true,\"data\":\"/d/A.07\",\"block\":0,\"bytes\":64", "}\n", true},
  };
  for (const auto& r : rows) {
    // Its source in slot 1, and then the other kind of source in slot 0, as
    // when the next index is begun while the reports of one are still out.
    r.form.begin({index, r.salvaged ? salvagedFrom : path, r.salvaged}, 1);
    r.form.begin({index, r.salvaged ? path : salvagedFrom, !r.salvaged}, 0);
    mbytes out;
    reportFrame opening(out, 41, 1);
    r.form.opening(opening, r.entry, index.range(r.entry));
    const bool json = r.form.constants().json;
    EXPECT_EQ(bytesOf(out), json ? "{\"n\":41,\"index\":" + (r.salvaged ? "null" : quotedPath) + r.opening : "");
    out.clear();
    reportFrame closing(out, 41, 1);
    r.form.closing(closing, r.entry, index.range(r.entry), reportReader::result{});
    EXPECT_EQ(bytesOf(out), r.closing);
    // The number is placed once, in the opening or in the closing.
    const reportFrame& placed = json ? opening : closing;
    EXPECT_TRUE(placed.numberAt() == (json ? 5u : 3u) && placed.numberLength() == 2) << r.closing;
  }
  // A salvaged report has no key, which no pattern matches, not even "*".
  const keyFilter any({mstr(u"*")});
  EXPECT_TRUE(any.selects(kept, false));
  EXPECT_FALSE(any.selects(kept, true));
}

constexpr errorOrigin kHere{"mod", 5, "fn", 1};

TEST(ReportForm, ErrorTextsAndSizeLinesGoWhereTheFormSays) {
  for (bool json : {false, true}) {
    SCOPED_TRACE(json);
    capturedOutput streams;
    errorSink errors(streams.output, json);
    mEx e(kHere);
    e.appendText(u"текст");
    errors.error(e, errorLevel::report);
    errors.unnamedBytes(u"/d/A.07", 64, true);  // a warning: no error text
    // A verifying run's finding on standard output, had they been the bytes
    // before the first block named.
    const plainForm plain(false, false);
    const listForm list(false);
    verifyForm(json ? static_cast<const reportForm&>(list) : plain, streams.output).unnamedBytes(u"/d/A.07", 64, false);
    errors.sizeLine(10000);
    errors.sizeLine(10001);
    errors.unexpectedFailure(6);
    const captured c = streams.taken();
    const std::string text = errorText(0, "текст", kHere) + unnamedBytes("/d/A.07", 64);
    const std::string finding =
        "/d/A.07: " + oem("не назван ни одной записью индекса до первого названного блока, байт 64\n");
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
    EXPECT_EQ(c.err, json ? objects : text);
    EXPECT_EQ(c.out, json ? "{\"index\":null,\"key\":null,\"data\":\"/d/A.07\",\"damage\":\"unreferenced bytes\","
                            "\"at\":64}\n"
                          : finding + lines);
    EXPECT_EQ(errors.errorTexts(), 2u);
  }
}

}  // namespace
