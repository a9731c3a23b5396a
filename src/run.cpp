#include "run.h"

#include <algorithm>
#include <bitset>
#include <memory>
#include <new>
#include <set>
#include <tuple>
#include <vector>

#include "mCmdLine.h"
#include "mFileIndex.h"
#include "mOutput.h"
#include "oemTable.h"
#include "options.h"
#include "orderedQueue.h"
#include "progress.h"
#include "reportFormat.h"
#include "reportWriter.h"

namespace {

const char16_t kUsage[] =
    u"Программа для конверсии рапортов Molvar в текстовый файл(v1.0)\n\n"
    u"  в параметры указать пути по котрым искать файлы с расширением idx создаваемые Molvar.\n\n"
    u"  Можно указать список таких путей в файле, который передать с в формате @имя_файла.\n\n"
    u"  Пример запуска: Tarvin c:\\molvar\\2004\n"
    u"     Конверсия всех рапортов в указанном каталоге\n"
    u"  Можно выполнить следующее: Tarvin c:\\molvar\\2004 c:\\molvar\\2005\n"
    u"     Конвертированные данные выводятся в окно запуска, чтобы получить их в файле надо "
    u"добавить к команде >имя_файла\n"
    u"  Пример: Tarvin c:\\molvar\\2004 c:\\molvar\\2005 >2004-2005.txt\n";

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
  mEx ex("main", 1, "wmain", 1);
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

// A file or directory that could not be made, with the system's error.
mEx creationError(int line, const char16_t* function, const mstr& path) {
  mEx ex("main", line, "wmain", 1);
  ex.addSystemError().appendText(function).appendText(path.c_str());
  return ex;
}

bool isSeparator(unsigned short unit) { return unit == platform::pathSeparator || unit == u'/'; }

// The first `length` units of a text.
mstr leading(const mstr& text, int length) {
  mstr part;
  part.append_n(text.c_str(), length);
  return part;
}

// Makes a directory and the missing ones on the way to it; false, with the
// last error set, when one of them cannot be made: the directory's own path
// is then in `failed`.
bool makeDirectories(const mstr& path, mstr& failed) {
  std::vector<int> missing;  // lengths of the leading parts to make, the longest first
  int length = path.get_count();
  for (;;) {
    failed = leading(path, length);
    if (CreateDirectoryW(failed.wide(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) break;
    if (GetLastError() != ERROR_PATH_NOT_FOUND) return false;
    missing.push_back(length);
    const unsigned short* units = path.c_str();
    while (length > 0 && !isSeparator(units[length - 1])) --length;
    while (length > 0 && isSeparator(units[length - 1])) --length;
    if (length == 0) return false;  // nothing above it to make
  }
  for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
    failed = leading(path, *at);
    if (!CreateDirectoryW(failed.wide(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return true;
}

HANDLE createFile(const mstr& path, DWORD disposition) {
  return CreateFileW(path.wide(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// The file of -o: made, or emptied when it was there, as a redirection does.
HANDLE openOutputFile(const mstr& path) {
  HANDLE file = createFile(path, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) throw creationError(2, u"func=CreateFile filename=", path);
  return file;
}

// The files of a split run: one for each index file, named by its path below
// the search-path entry in one directory, written in turn through the one
// writer. A file that was there is replaced only when asked (force), and one
// this run wrote never is: its index gets error 80, as Windows gives when a
// new file's name is taken. The file of the last report written stays open
// until a later file holds a report, so that the size line at the end of
// the run follows that report's text.
class splitOutput {
 public:
  splitOutput(const mstr& directory, bool force, mOutput& output)
      : directory_(directory), force_(force), output_(output) {
    const unsigned short separators[] = {u'/', platform::pathSeparator, 0};
    directory_.trimRight(separators);
  }
  ~splitOutput() {
    if (holding_) CloseHandle(holding_);
  }
  splitOutput(const splitOutput&) = delete;
  splitOutput& operator=(const splitOutput&) = delete;

  // Makes the directory; raises the run's error when it cannot.
  void prepare() {
    mstr failed;
    if (!makeDirectories(directory_, failed)) throw creationError(3, u"func=CreateDirectory filename=", failed);
  }

  // Sends the output to the file of an index found below `entry`, from
  // report `counter` on. False, after its error text, when the file cannot
  // be had: the index is skipped.
  bool begin(const mFileObject& entry, const mFileObject& index, unsigned counter, reportFormat& format) {
    const mstr path = fileName(entry, index);
    HANDLE file = INVALID_HANDLE_VALUE;
    try {
      file = open(path);
    } catch (mEx& error) {
      format.error(error, errorLevel::directory);
      return false;
    }
    // What the previous file still has to take goes there first.
    output_.flush();
    requireWritten(output_, current());
    if (HANDLE previous = output_.useFile(file)) {
      if (counter != counterAtOpen_) {  // it holds the last report written so far
        if (holding_) CloseHandle(holding_);
        holding_ = previous;
        holdingName_.assign(name_);
      } else {
        CloseHandle(previous);
      }
    }
    name_.assign(path);
    counterAtOpen_ = counter;
    return true;
  }

  // At the end of the run: the output goes back to the file of the last
  // report written, when a later file holds none.
  void end(unsigned counter) {
    if (counter != counterAtOpen_ || !holding_) return;
    output_.flush();
    requireWritten(output_, current());
    if (HANDLE empty = output_.useFile(holding_)) CloseHandle(empty);
    holding_ = nullptr;
    name_.assign(holdingName_);
  }

  // The file being written, or null before the first one.
  const mstr* current() const { return name_.get_count() > 0 ? &name_ : nullptr; }

 private:
  static constexpr unsigned short kSeparator[] = {platform::pathSeparator, 0};
  typedef std::tuple<DWORD, DWORD, DWORD> identity;  // volume, file index

  // The directory, the index's path below the entry, ".txt" in place of its
  // extension.
  mstr fileName(const mFileObject& entry, const mFileObject& index) const {
    mstr below, full;
    entry.getFullPath(below);
    if (below.get_count() == 0 || !isSeparator(below.c_str()[below.get_count() - 1])) below.append(kSeparator);
    index.getFullPath(full);
    const int prefix = below.get_count();
    if (full.get_count() > prefix && std::equal(below.c_str(), below.c_str() + prefix, full.c_str()))
      full.erase(full.get_data(), full.get_data() + prefix);
    else
      full.assign(index);  // found where the entry does not lead: by its name alone
    int dot = full.get_count();
    while (dot > 0 && full.c_str()[dot - 1] != u'.' && !isSeparator(full.c_str()[dot - 1])) --dot;
    if (dot > 0 && full.c_str()[dot - 1] == u'.') full.erase(full.get_data() + dot - 1, nullptr);
    mstr path(directory_);
    if (path.get_count() == 0 || !isSeparator(path.c_str()[path.get_count() - 1])) path.append(kSeparator);
    return path.append(full.c_str()).append(u".txt");
  }

  // Opens a file for writing: new, or replacing one that was there before
  // the run when forced; its directories are made as needed.
  HANDLE open(const mstr& path) {
    HANDLE file = createFile(path, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
      mstr directory, failed;
      mFileObject(path).getDir(directory);
      if (!makeDirectories(directory, failed)) throw creationError(3, u"func=CreateDirectory filename=", failed);
      file = createFile(path, CREATE_NEW);
    }
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS && force_ && !writtenBefore(path))
      file = createFile(path, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) throw creationError(4, u"func=CreateFile filename=", path);
    identity id;
    if (identify(file, id)) written_.insert(id);
    return file;
  }

  static bool identify(HANDLE file, identity& id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return false;
    id = identity(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
    return true;
  }

  // Whether the file at `path` is one this run wrote; the last error is
  // ERROR_FILE_EXISTS after it. It may still be open for writing here.
  bool writtenBefore(const mstr& path) const {
    HANDLE file = CreateFileW(path.wide(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    identity id;
    const bool ours = file != INVALID_HANDLE_VALUE && identify(file, id) && written_.count(id) > 0;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    SetLastError(ERROR_FILE_EXISTS);
    return ours;
  }

  mstr directory_;
  const bool force_;
  mOutput& output_;
  std::set<identity> written_;  // every file this run opened
  mstr name_;                   // the file being written
  unsigned counterAtOpen_ = 0;  // the number of the first report it may hold
  HANDLE holding_ = nullptr;    // the file of the last report written, when it is another one
  mstr holdingName_;
};

// The processors this process may use.
unsigned processorCount() {
  DWORD_PTR mine = 0, all = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &mine, &all) || mine == 0) return 1;
  return static_cast<unsigned>(std::bitset<8 * sizeof mine>(mine).count());
}

// Index files are opened ahead, on another thread, while the one before is
// written: in a tree of many small archives, opening them takes as long as
// the rest. Only small ones, so that little memory waits. One whose opening
// meets anything but success (a missing data file, a damaged, changing or
// vanished file, a shortage of memory) is opened again in its turn, so that
// what it meets is told in its place, as if none had been opened ahead.
constexpr std::uint64_t kAheadLargest = 1 << 20;

struct indexAhead {
  const mFileObject* file = nullptr;
  std::unique_ptr<mFileIndex> index;  // null: to be opened in its turn

  void open() noexcept {
    index.reset();
    try {
      std::unique_ptr<mFileIndex> opened(new mFileIndex);
      if (opened->openUpTo(*file, kAheadLargest, [](mEx& error) { throw std::move(error); }))
        index = std::move(opened);
    } catch (...) {
    }
  }
};
typedef orderedQueue<indexAhead> indexOpener;

// Drops the openings ahead that are still out when a tree ends early, so that
// none reads a name of its list after that list is gone.
struct aheadDrain {
  indexOpener& opener;
  ~aheadDrain() { opener.drain(); }
};

// What a conversion uses from one directory to the next.
struct conversion {
  reportFormat& format;
  reportWriter& writer;
  indexOpener& opener;
  runTally& tally;
  progress* shown;
  splitOutput* split;             // a file for each index file, or null
  unsigned processors;            // what a large index is loaded on
  unsigned counter = 0;           // reports written so far
  unsigned long long found = 0;   // index files found
};

// Every index file in the tree of one directory, by file name; an error ends
// the rest of the tree.
void convertDirectory(const mFileObject& directory, conversion& c) {
  mFileList files;
  std::unique_ptr<mFileIndex> index;
  mstr indexPath;
  const mFileIndex::errorHandler missingDataFile = [&c](mEx& error) { c.format.error(error, errorLevel::report); };
  try {
    // Directories the walk could not search are told first; the rest of the
    // tree is converted all the same.
    std::vector<mEx> unlisted;
    directory.listTree(files, 1, u"*.idx", &unlisted);
    for (const mEx& error : unlisted) c.format.error(error, errorLevel::directory);
    c.found += static_cast<unsigned long long>(files.get_count());
    if (c.shown) c.shown->directory(directory.getFullPath(indexPath), static_cast<unsigned>(files.get_count()));
    aheadDrain drained{c.opener};
    auto listed = files.begin();
    auto handOut = [&c, &listed] {
      while (c.opener.hasRoom()) {
        auto* next = listed.step();
        if (!next) return;
        c.opener.next().file = next->value;
        c.opener.handOut();
      }
    };
    handOut();
    while (indexAhead* ahead = c.opener.oldest()) {
      const mFileObject& file = *ahead->file;
      index = std::move(ahead->index);
      c.opener.take();
      handOut();
      file.getFullPath(indexPath);
      if (!index) {
        index.reset(new mFileIndex);
        index->threads = c.processors;
        index->open(file, missingDataFile);
      }
      ++c.tally.indexes;
      if (c.split && !c.split->begin(directory, file, c.counter, c.format)) {
        index.reset();
        if (c.shown) c.shown->indexDone();
        continue;
      }
      c.format.beginIndex(*index, indexPath);
      if (index->size % kRecordSize) {
        ++c.tally.damaged;  // a trailing piece shorter than a record
        c.format.indexDamage(*index);
      }
      c.writer.write(*index, c.counter);
      requireWritten(mOutput::get(), c.split ? c.split->current() : nullptr);
      index.reset();
      if (c.shown) c.shown->indexDone();
    }
  } catch (mEx& error) {
    c.format.error(error, errorLevel::directory);
  }
}

reportFormat::kind formatKind(const runOptions& options) {
  return options.list ? reportFormat::kind::list : options.jsonl ? reportFormat::kind::jsonl : reportFormat::kind::plain;
}

}  // namespace

int tarvinRun(int argc, WCHAR** argv) {
  const runOptions options = takeRunOptions(argc, argv);
  const bool json = options.jsonl || options.list;
  mOutput& output = mOutput::get();
  const auto utf8 = mOutput::encoding::utf8, oem = mOutput::encoding::oem;
  output.setEncodings(options.utf8 || json ? utf8 : oem, options.utf8 ? utf8 : oem);
  reportFormat::settings shape;
  shape.how = formatKind(options);
  shape.utf8 = options.utf8;
  shape.verify = options.verify;
  shape.trim = options.trim;
  shape.keys = options.keys;
  reportFormat format(shape, output);
  // What the command line got wrong, in the form it asks for: a usage error
  // converts nothing.
  for (const mstr& line : options.warnings) format.notice("unknown switch", line);
  for (const mstr& line : options.usageErrors) format.notice("usage error", line);
  if (!options.usageErrors.empty()) {
    output.finish();
    return 2;
  }
  // Standard output to a file: one that cannot be made is the end of the
  // run, as when its output is lost.
  if (options.output.get_count() > 0) {
    try {
      output.useFile(openOutputFile(options.output));
    } catch (mEx& error) {
      format.error(error, errorLevel::run);
      output.finish();
      return 1;
    }
  }
  std::unique_ptr<splitOutput> split;
  if (options.split.get_count() > 0) split.reset(new splitOutput(options.split, options.force, output));
  runTally tally;
  std::unique_ptr<progress> shown;
  int exitCode = 0;
  std::uint64_t lastUnits = 0;  // what the output text holds at the end
  {
    mCmdLine commandLine;
    // The size lines of the list files read, and a warning for each that
    // named no directory.
    auto listFileSizeLines = [&commandLine, &format] {
      for (const mCmdLine::listFile& list : commandLine.listFiles) {
        format.sizeLine(static_cast<std::uint64_t>(list.units));
        if (list.entries == 0) format.emptyList(list.argument);
      }
      commandLine.listFiles.clear();
    };
    try {
      commandLine.parse(argc, argv);
      mstr out;
      if (commandLine.getOption(u"?", out) || options.help) {
        out.append(kUsage);
        if (options.help) appendOptionHelp(out);
        out.print();
        requireWritten(output);
        lastUnits = static_cast<std::uint64_t>(out.get_count());
      } else if (options.version) {
        mstr(u"tarvin " TARVIN_VERSION "\n"
             u"Copyright (C) 2026 the Tarvin developers\n"
             u"License MIT: <https://opensource.org/licenses/MIT>.\n")
            .print();
        requireWritten(output);
      } else {
        try {
          commandLine.getSearchPaths(argc, argv);
        } catch (mEx&) {
          listFileSizeLines();
          throw;
        }
        listFileSizeLines();
        if (split) {
          try {
            split->prepare();
          } catch (mEx&) {
            exitCode = 1;  // nowhere to write the reports
            throw;
          }
        }
        // Reports that go to files of their own go to no console.
        const bool console = !split && output.outputIsConsole();
        // A status line while the reports go elsewhere than the console.
        if (!options.quiet && output.errorIsConsole() && !console) shown.reset(new progress(output));
        // On every core, unless standard output is a console: then each
        // report shows as soon as it is decoded, by one thread.
        unsigned threads = console ? 1 : processorCount();
        if (threads > 16) threads = 16;
        const reportDecode::level level = options.levelForced ? options.level : reportDecode::best();
        // Where every byte of the OEM code page stands for one unit and back,
        // reports are decoded straight into the bytes that are written.
        reportWriter writer(format, tally, reportDecode::select(level), !oemTable::get().roundTrip, threads, console,
                            shown.get());
        indexOpener opener(threads > 1 ? 2 : 1, 2, [](indexAhead& ahead, unsigned) { ahead.open(); });
        conversion c{format, writer, opener, tally, shown.get(), split.get(), processorCount()};
        for (auto it = commandLine.searchPaths.begin(); auto* directory = it.step();)
          convertDirectory(*directory->value, c);
        if (split) split->end(c.counter);
        lastUnits = writer.lastUnits();
        // Directories were named (no argument at all writes nothing), and
        // none holds an index file.
        if (c.found == 0 && commandLine.searchPaths.get_count() > 0) format.nothingFound();
        if (options.verify) format.summary(tally);
      }
    } catch (mEx& error) {
      format.error(error, errorLevel::run);
    } catch (outputLost& lost) {
      if (!lost.quiet) format.error(lost.error, errorLevel::run);
      exitCode = 1;
    } catch (const std::bad_alloc&) {
      format.unexpectedFailure(ERROR_NOT_ENOUGH_MEMORY);  // whatever the last system call left
    } catch (...) {
      format.unexpectedFailure(GetLastError());
    }
  }
  // The output text's size line, when it holds more than 10000 characters at
  // the end: the last report with its separator, or the usage text.
  format.sizeLine(lastUnits);
  // What is still gathered goes out now; if it cannot, that output is lost
  // like any other.
  output.flush();
  if (exitCode == 0 && output.lost()) {
    if (!readerWentAway(output.lostError()))
      format.error(lostOutputError(output, split ? split->current() : nullptr), errorLevel::run);
    exitCode = 1;
  }
  output.closeFile();
  split.reset();
  if (shown) shown->finish(format.errorTexts());
  shown.reset();
  output.finish();
  // A strict or verifying run tells of every error and every damage mended.
  if (exitCode == 0 && (options.strict || options.verify) && (format.errorTexts() > 0 || tally.damaged > 0))
    exitCode = 2;
  return exitCode;
}
