#include "run.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "mCmdLine.h"
#include "mFileIndex.h"
#include "mOutput.h"
#include "oemTable.h"
#include "options.h"
#include "indexAhead.h"
#include "outputFiles.h"
#include "progress.h"
#include "reportWriter.h"
#include "salvage.h"
#include "threads.h"
#include "textForms.h"
#include "verifyForm.h"

namespace {

// Standard output could not be written: the run stops, since every further
// report would be lost too.
struct outputLost {
  mEx error;
  bool quiet = false;  // the reader went away: nothing to tell
};

// The errors of a write to a pipe whose reader has gone away. On POSIX
// SIGPIPE ends the process first, quietly, as any filter's; on Windows the
// run ends as quietly, with the exit code of lost output.
bool readerWentAway(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}

// The error of lost output: standard output, or where a file of a split
// run is named.
mEx lostOutputError(const mOutput& output, const mstr* file) {
  SetLastError(output.lostError());
  mEx ex(origin::outputLost);
  ex.addSystemError();
  if (file)
    ex.appendText(u"func=WriteFile Данные не записаны в файл. filename=").appendText(file->c_str());
  else
    ex.appendText(u"func=WriteFile Данные не записаны в стандартный вывод.");
  return ex;
}

// Checks that standard output has taken everything so far.
void requireWritten(const mOutput& output, const mstr* file = nullptr) {
  if (!output.lost()) return;
  if (readerWentAway(output.lostError())) throw outputLost{mEx(), true};
  throw outputLost{lostOutputError(output, file)};
}

// The file that takes the output now, if any.
const mstr* outputName(const outputFile* file, const splitOutput* split) {
  return file ? &file->name() : split ? split->current() : nullptr;
}

// The form of a run's reports, chosen once from its options.
std::unique_ptr<reportForm> chooseForm(const runOptions& options, bool utf8Texts) {
  if (options.list) return std::unique_ptr<reportForm>(new listForm(options.trim));
  if (options.jsonl) return std::unique_ptr<reportForm>(new jsonLinesForm(options.trim));
  return std::unique_ptr<reportForm>(new plainForm(utf8Texts, options.trim));
}

// What a run writes with: where its errors go, which reports it writes, and
// their form, around which a verifying run writes its findings instead.
struct runForms {
  std::unique_ptr<reportForm> chosen;
  std::unique_ptr<verifyForm> verifying;  // null: no verifying run
  errorSink errors;                       // JSON where the reports are
  keyFilter keys;

  runForms(const runOptions& options, mOutput& output, bool utf8Texts)
      : chosen(chooseForm(options, utf8Texts)),
        verifying(options.verify ? new verifyForm(*chosen, output) : nullptr),
        errors(output, chosen->constants().json),
        keys(options.keys) {}
  reportForm& reports() { return verifying ? *verifying : *chosen; }
};

// What a conversion uses from one directory to the next.
struct conversion {
  runForms& forms;
  mOutput& output;
  reportWriter& writer;
  indexOpener& opener;
  runTally& tally;
  progress* shown;
  outputFile* file;               // the file that takes the output, or null
  splitOutput* split;             // a file for each index file, or null
  unsigned processors;            // what a large index is loaded on
  unsigned counter = 0;           // reports written so far
  unsigned long long found = 0;   // index files found
  bool salvage = false;           // bytes no record names are converted too
};

// Opens an index in its turn, unless it was opened ahead; false, with its
// error told, when it cannot be opened or loaded: that index alone is lost.
bool openIndex(std::unique_ptr<mFileIndex>& index, const mFileObject& file, const mstr& indexPath, conversion& c) {
  if (index) return true;
  try {
    index.reset(new mFileIndex);
    index->threads = c.processors;
    index->open(file, [&c](mEx& error) { c.forms.errors.error(error, errorLevel::report); });
    return true;
  } catch (mEx& error) {
    index.reset();
    c.forms.errors.error(error, errorLevel::index);
    ++c.tally.indexesFailed;
    if (c.forms.verifying) c.forms.verifying->indexFailed(indexPath);
    return false;
  }
}

// Sends the output to the split file of an index, or of a data file's
// salvaged text (`whole`), once the file before has taken what it still had
// to. False when that file cannot be had.
bool beginSplitFile(conversion& c, const mFileObject& directory, const mFileObject& file, bool whole = false) {
  c.output.flush();
  requireWritten(c.output, c.split->current());
  return c.split->begin(directory, file, c.counter, c.forms.errors, whole);
}

// Writes the salvaged reports of one set as an index's, counted apart from
// the indexed ones: they are bytes that no record names.
void writeSalvaged(const mFileIndex& set, const mstr& dataPath, conversion& c) {
  if (c.file) c.file->opened(set);
  const reportSource salvaged{set, dataPath, true};
  const runTally before = c.tally;
  c.writer.write(salvaged, c.counter);
  c.tally.salvaged += c.tally.reports - before.reports;
  c.tally.reports = before.reports;
  c.tally.bytes = before.bytes;
  requireWritten(c.output, outputName(c.file, c.split));
}

// What no record of the entry's index files names, after the entry's
// indexed reports: a warning for each orphaned data file and unreferenced
// range, in the order of their names; then, with --salvage, their reports
// in the same order. A data file that cannot be read costs its own.
void convertUnnamed(const mFileObject& directory, const mFileList& dataFiles, const unnamedData& names,
                    conversion& c) {
  const std::vector<unnamedData::range> ranges = names.unnamedIn(dataFiles);
  mstr path;
  for (const unnamedData::range& r : ranges) {
    ++(r.orphaned ? c.tally.dataOrphaned : c.tally.rangesUnreferenced);
    c.tally.bytesUnreferenced += r.end;
    c.forms.errors.unnamedBytes(r.file->getFullPath(path), r.end, r.orphaned);
    if (c.forms.verifying) c.forms.verifying->unnamedBytes(path, r.end, r.orphaned);
  }
  if (!c.salvage) return;
  for (const unnamedData::range& r : ranges) {
    if (r.end == 0) continue;
    r.file->getFullPath(path);
    bool begun = false;
    try {
      salvage(r, [&](const mFileIndex& set) {
        if (!begun && c.split && !beginSplitFile(c, directory, *r.file, true)) return false;
        begun = true;
        writeSalvaged(set, path, c);
        return true;
      });
    } catch (mEx& error) {
      c.forms.errors.error(error, errorLevel::report);
    } catch (const std::bad_alloc&) {
      c.forms.errors.error(stack_ob_allocation_error(origin::allocationBytes), errorLevel::report);
    }
  }
}

// Writes the reports of an index file found in the tree of `directory`,
// once it is open; `next`, when given, is the source written after it.
void convertIndex(const mFileObject& directory, const mFileObject& file, const mstr& indexPath,
                  const mFileIndex& index, conversion& c, const reportSource* next) {
  ++c.tally.indexes;
  c.tally.dataUsed += static_cast<unsigned>(index.dataFiles.get_count());
  c.tally.dataMissing += static_cast<unsigned>(index.dataMissing.count());
  c.tally.dataUnreadable += static_cast<unsigned>(index.dataUnreadable.count());
  if (c.file) c.file->opened(index);
  if (c.split && !beginSplitFile(c, directory, file)) {
    c.writer.dropAhead();  // what was decoded of it ahead is not written
    return;
  }
  const reportSource indexed{index, indexPath};
  if (index.size % kRecordSize) ++c.tally.damaged;  // a trailing piece shorter than a record
  if (c.forms.verifying) c.forms.verifying->indexDamage(index, indexPath);
  c.writer.write(indexed, c.counter, next);
  requireWritten(c.output, outputName(c.file, c.split));
}

// Lists the tree of one directory: its index files, and its data files in
// `dataFiles`. Directories the walk could not search are told first; the
// rest of the tree is converted all the same.
void listDirectory(const mFileObject& directory, mFileList& files, mFileList& dataFiles, conversion& c) {
  std::vector<mFileObject::unlisted> unlisted;
  const mFileObject::alsoGather dataForm{&dataFiles, [](const unsigned short* name) { return isDataFileName(name); }};
  directory.listTree(files, 1, u"*.idx", &unlisted, &dataForm);
  for (const mFileObject::unlisted& each : unlisted) {
    c.forms.errors.error(each.error, errorLevel::directory);
    ++c.tally.directoriesUnreadable;
    if (c.forms.verifying) c.forms.verifying->directoryUnreadable(each.path);
  }
  c.found += static_cast<unsigned long long>(files.get_count());
}

// Every index file in the tree of one directory, by file name. An index that
// cannot be opened or loaded is lost alone, as is each directory of the tree
// that cannot be listed; an error of the walk itself ends the tree.
void convertDirectory(const mFileObject& directory, conversion& c) {
  mFileList files, dataFiles;
  unnamedData names;
  // The index file being written, and the one after it: when that one was
  // opened ahead, its first reports are decoded while this one's last are
  // written.
  struct listedIndex {
    const mFileObject* file = nullptr;
    std::unique_ptr<mFileIndex> index;  // null: to be opened in its turn
    mstr path;
  } listedIndexes[2];
  mstr directoryPath;
  try {
    listDirectory(directory, files, dataFiles, c);
    if (c.shown) c.shown->directory(directory.getFullPath(directoryPath), static_cast<unsigned>(files.get_count()));
    indexOpener::tree listed(c.opener, files);
    // However the walk ends, nothing decoded ahead reads an index once it is freed.
    struct droppingAhead {
      reportWriter& writer;
      ~droppingAhead() { writer.dropAhead(); }
    } dropping{c.writer};
    // The next index file of the listing, with its path; false after the last.
    auto take = [&listed](listedIndex& l) {
      if (!listed.next(l.file, l.index)) return false;
      l.file->getFullPath(l.path);
      return true;
    };
    unsigned at = 0;
    bool more = take(listedIndexes[0]);
    while (more) {
      listedIndex& now = listedIndexes[at];
      listedIndex& after = listedIndexes[at ^ 1];
      const bool opened = openIndex(now.index, *now.file, now.path, c);
      more = take(after);
      if (opened) {
        std::optional<reportSource> next;
        if (more && after.index) next.emplace(reportSource{*after.index, after.path});
        names.noteNamed(*now.index);
        convertIndex(directory, *now.file, now.path, *now.index, c, next ? &*next : nullptr);
        c.opener.retire(std::move(now.index));
      }
      if (c.shown) c.shown->indexDone();
      at ^= 1;
    }
    convertUnnamed(directory, dataFiles, names, c);
  } catch (mEx& error) {
    c.forms.errors.error(error, errorLevel::directory);
  }
}

// What a run holds from its start to its end.
struct runState {
  const runOptions& options;
  mOutput& output;
  runForms forms;
  runTally tally;
  std::unique_ptr<outputFile> file;
  std::unique_ptr<splitOutput> split;
  std::unique_ptr<progress> shown;
  std::uint64_t lastUnits = 0;  // what the output text holds at the end
  const UINT listCodePage;      // of the list files' lines

  runState(const runOptions& o, mOutput& out, bool utf8Texts, UINT lists)
      : options(o), output(out), forms(o, out, utf8Texts), listCodePage(lists) {}
};

// Standard output to a file: one that cannot be had, or that is a list
// file, is the end of the run, as when its output is lost. False then.
bool openOutputFile(runState& run, const mCmdLine& commandLine) {
  if (run.options.output.get_count() == 0) return true;
  run.file.reset(new outputFile(run.options.output, run.output));
  try {
    run.file->open(listFileIdentities(commandLine.listFileNames()));
    return true;
  } catch (mEx& error) {
    run.forms.errors.error(error, errorLevel::run);
    run.forms.errors.outputFailed();
    return false;
  }
}

// A text of the program's own on standard output, the usage text or the
// version, as one piece.
void writeText(mOutput& output, const mstr& text) {
  output.text(text.c_str(), text.get_count());
  output.endOfPiece();
  requireWritten(output);
}

// The directories the command line names, with those of its list files:
// the lines of each list file read that were skipped for a NUL, its size
// line, and a warning for each that named no directory. Then the split
// directory is made ready.
void takeSearchPaths(runState& run, mCmdLine& commandLine) {
  auto listFileSizeLines = [&commandLine, &run] {
    for (const mCmdLine::listFile& list : commandLine.listFiles) {
      for (int line : list.linesWithNul) run.forms.errors.listLineWithNul(list.argument, line);
      run.forms.errors.sizeLine(static_cast<std::uint64_t>(list.units));
      if (list.entries == 0) run.forms.errors.emptyList(list.argument);
    }
    commandLine.listFiles.clear();
  };
  try {
    commandLine.getSearchPaths(run.listCodePage);
  } catch (mEx&) {
    listFileSizeLines();
    throw;
  }
  listFileSizeLines();
  if (!run.split) return;
  try {
    run.split->prepare(listFileIdentities(commandLine.listFileNames()));
  } catch (mEx&) {
    run.forms.errors.outputFailed();  // nowhere to write the reports
    throw;
  }
}

// Converts every directory named.
void convertAll(runState& run, mCmdLine& commandLine) {
  const runOptions& options = run.options;
  mOutput& output = run.output;
  // Reports that go to files of their own go to no console.
  const bool console = !run.split && output.outputIsConsole();
  // A status line while the reports go elsewhere than the console: of the
  // bytes of report codes read where nothing else is (a verifying run),
  // else of the bytes written.
  if (!options.quiet && output.errorIsConsole() && !console)
    run.shown.reset(new progress(output, options.verify ? &run.tally.bytes : nullptr));
  const unsigned processors = processorCount();
  const unsigned threads = decodingThreads(console, processors);
  const reportDecode::level level = options.levelForced ? options.level : reportDecode::best();
  // Where every byte of the OEM code page stands for one unit and back,
  // reports are decoded straight into the bytes that are written.
  const reportWriter::reading how{reportDecode::select(level), !oemTable::get().roundTrip, threads, console};
  reportWriter writer(run.forms.reports(), run.forms.keys, output, run.forms.errors, run.tally, how, run.shown.get());
  indexOpener opener(threads);
  conversion c{run.forms,       output,         writer,          opener,          run.tally,
               run.shown.get(), run.file.get(), run.split.get(), processors};
  c.salvage = options.salvage;
  for (auto it = commandLine.searchPaths.begin(); auto* directory = it.step();) convertDirectory(*directory->value, c);
  if (run.split) {
    output.flush();
    requireWritten(output, run.split->current());
    run.split->end(c.counter, run.forms.errors);
  }
  run.lastUnits = writer.lastUnits();
  // Directories were named (no argument at all writes nothing), and none
  // holds an index file.
  if (c.found == 0 && commandLine.searchPaths.get_count() > 0) run.forms.errors.nothingFound();
  if (run.forms.verifying) run.forms.verifying->summary(run.tally, run.forms.errors.errorTexts());
}

// What the command line asks for: the usage text, the version, or the
// conversion. Whatever ends it early is told here.
void runCommandLine(runState& run, mCmdLine& commandLine) {
  errorSink& errors = run.forms.errors;
  try {
    if (run.options.help != runOptions::helpKind::none) {
      mstr out(run.options.usageTitle);
      out.append(helpText(run.options.help).c_str());
      writeText(run.output, out);
      run.lastUnits = static_cast<std::uint64_t>(out.get_count());
    } else if (run.options.version) {
      writeText(run.output, versionText());
    } else {
      takeSearchPaths(run, commandLine);
      convertAll(run, commandLine);
    }
  } catch (mEx& error) {
    errors.error(error, errorLevel::run);
  } catch (outputLost& lost) {
    if (!lost.quiet) errors.error(lost.error, errorLevel::run);
    errors.outputFailed();
  } catch (const std::bad_alloc&) {
    errors.unexpectedFailure(ERROR_NOT_ENOUGH_MEMORY);  // whatever the last system call left
  } catch (...) {
    errors.unexpectedFailure(GetLastError());
  }
}

// The end of a run that converted: the size line, what is still gathered,
// the output files put in place, the status line's summary.
void endRun(runState& run) {
  errorSink& errors = run.forms.errors;
  mOutput& output = run.output;
  // The output text's size line, when it holds more than 10000 characters at
  // the end: the last report with its separator, or the usage text.
  errors.sizeLine(run.lastUnits);
  // What is still gathered goes out now; if it cannot, that output is lost
  // like any other.
  output.flush();
  if (!errors.hasOutputFailed() && output.lost()) {
    if (!readerWentAway(output.lostError()))
      errors.error(lostOutputError(output, outputName(run.file.get(), run.split.get())), errorLevel::run);
    errors.outputFailed();
  }
  // The output files go in place, those cut short by lost output excepted.
  if (run.file && !run.file->finish(!output.lost(), errors)) errors.outputFailed();
  if (run.split && !run.split->finish(!output.lost(), errors)) errors.outputFailed();
  run.file.reset();
  run.split.reset();
  if (run.shown) run.shown->finish(errors.errorTexts());
  run.shown.reset();
}

}  // namespace

int tarvinRun(int argc, WCHAR** argv) {
  mCmdLine commandLine;
  commandLine.parse(argc, argv);
  const runOptions& options = commandLine.options;
  const bool json = options.jsonl || options.list;
  mOutput& output = mOutput::get();
  // The texts are UTF-8 when asked for, or where the locale's are (never on
  // Windows) and the Windows bytes are not asked for; so are list files,
  // --utf8 aside. UTF-8 is for a reader of this system: the system's texts
  // end in LF there, while the Windows bytes keep their CR LF.
  const bool localeUtf8 = !options.oem && platform::localeIsUtf8();
  const bool utf8Texts = options.utf8 || localeUtf8;
  platform::systemTextsEndInLineFeed(utf8Texts);
  const auto utf8 = mOutput::encoding::utf8, oem = mOutput::encoding::oem;
  output.setEncodings(utf8Texts || json ? utf8 : oem, utf8Texts ? utf8 : oem);
  runState run(options, output, utf8Texts, localeUtf8 ? CP_UTF8 : CP_OEMCP);
  // What the command line got wrong, in the form it asks for: a usage error
  // converts nothing.
  for (const mstr& line : options.warnings) run.forms.errors.notice("unknown switch", line);
  for (const mstr& line : options.usageErrors) run.forms.errors.usageError(line);
  if (options.usageErrors.empty() && openOutputFile(run, commandLine)) {
    if (options.split.get_count() > 0) run.split.reset(new splitOutput(options.split, options.force, output));
    runCommandLine(run, commandLine);
    endRun(run);
  }
  output.finish();
  return run.forms.errors.exitCode((options.strict || options.verify) && run.tally.damage());
}
