// progress: a status line on the console's standard error while the reports
// go elsewhere: the reports and megabytes written (read, where a verifying
// run writes no report), the index files done of
// those in the current directory, that directory, the time and the rate.
// Redrawn at most ten times a second, never wider than the console, taken
// away for every error text, and at the end replaced by one summary line.
#ifndef TARVIN_PROGRESS_H
#define TARVIN_PROGRESS_H

#include <cstdint>

#include "mOutput.h"
#include "mstr.h"

class progress : public mOutput::statusLine {
 public:
  // Shows from now on, on the output's standard error: the bytes the output
  // took, or those counted at `bytesRead`, when given.
  explicit progress(mOutput& output, const std::uint64_t* bytesRead = nullptr);
  ~progress() override;
  progress(const progress&) = delete;
  progress& operator=(const progress&) = delete;

  void directory(const mstr& path, unsigned indexFiles);
  void indexDone();
  void reports(unsigned count);
  // The summary line, with the number of error texts written.
  void finish(unsigned errorTexts);

  void hide() override;
  void show() override { draw(false); }

 private:
  void draw(bool now);
  void appendStatus(mstr& line, bool summary, unsigned errorTexts) const;
  // The characters a status line may have on the console.
  static int width();

  mOutput& output_;
  const std::uint64_t* bytesRead_;
  unsigned long long started_;
  unsigned long long drawn_ = 0;  // tick of the last drawing
  unsigned reports_ = 0;
  unsigned indexDone_ = 0;
  unsigned indexFiles_ = 0;
  mstr directory_;
  int onScreen_ = 0;  // characters of the line now shown, 0: none
  bool finished_ = false;
};

#endif  // TARVIN_PROGRESS_H
