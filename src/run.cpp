#include "run.h"

#include <bitset>
#include <memory>
#include <string_view>

#include "mCmdLine.h"
#include "mFileIndex.h"
#include "mOutput.h"
#include "oemTable.h"
#include "reportQueue.h"

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

// The converter's own options as the help lists them after the usage text:
// the word (spelled with the platform's prefix), what follows it, and what
// it does.
struct optionHelp {
  const char16_t* word;
  const char16_t* value;
  const char16_t* text;
};
const optionHelp kOptionHelp[] = {
    {u"utf8", nullptr, u"стандартный вывод и сообщения об ошибках в UTF-8, а не в кодовой странице OEM"},
    {u"jsonl", nullptr, u"вместо текстов - по объекту JSON на рапорт, каждый в своей строке (UTF-8)"},
    {u"list", nullptr, u"те же объекты без текстов: что хранят архивы, без декодирования"},
    {u"strict", nullptr, u"код завершения 2, если было выведено сообщение об ошибке"},
    {u"quiet", nullptr, u"без строки хода работы на терминале"},
    {u"simd", u"УРОВЕНЬ", u"уровень декодирования для измерений: scalar, avx2 или avx512"},
    {u"version", nullptr, u"версия программы"},
    {u"help", nullptr, u"эта справка"},
};

// An empty line, then one line for each option.
void appendOptionHelp(mstr& out) {
  out.append(u"\n");
  for (const optionHelp& option : kOptionHelp) {
    mstr line(u"  ");
    if (option.word == std::u16string_view(u"help") && platform::shortHelpOption)
      line.append(reinterpret_cast<const unsigned short*>(platform::shortHelpOption)).append(u", ");
    line.append(reinterpret_cast<const unsigned short*>(platform::optionPrefix)).append(option.word);
    if (option.value) {
      const unsigned short separator[] = {static_cast<unsigned short>(platform::optionValueSeparator), 0};
      line.append(separator).append(option.value);
    }
    do line.append(u" ");
    while (line.get_count() < 24);
    out.append(line.c_str()).append(option.text).append(u"\n");
  }
}

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

mEx lostOutputError() {
  SetLastError(mstr::lastWriteError());
  mEx ex("main", 1, "wmain", 1);
  ex.addSystemError().appendText(u"func=WriteFile Данные не записаны в стандартный вывод.");
  return ex;
}

// Checks that standard output has taken everything so far.
void requireWritten() {
  if (mstr::lastWriteSucceeded()) return;
  if (readerWentAway(mstr::lastWriteError())) throw outputLost{mEx(), true};
  throw outputLost{lostOutputError()};
}

// The processors this process may use.
unsigned processorCount() {
  DWORD_PTR mine = 0, all = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &mine, &all) || mine == 0) return 1;
  return static_cast<unsigned>(std::bitset<8 * sizeof mine>(mine).count());
}

void convertDirectory(const mFileObject& directory, mstr& indexPath, unsigned& counter, reportQueue& queue) {
  mFileList files;
  std::unique_ptr<mFileIndex> index;
  mOutput& output = mOutput::get();
  try {
    directory.listTree(files, 1, u"*.idx");
    mstr shown;
    directory.getFullPath(shown);
    output.progressDirectory(shown.c_str(), shown.get_count(), static_cast<unsigned>(files.get_count()));
    for (auto f = files.begin(); auto* file = f.step();) {
      file->value->getFullPath(indexPath);
      index.reset(new mFileIndex);
      index->open(indexPath);
      queue.write(*index, indexPath, counter);
      requireWritten();
      index.reset();
      output.progressIndexDone();
    }
  } catch (mEx& error) {
    printErrorText(error);
  }
}

// The queue that writes the reports as the options ask, on every core
// unless standard output is a console: then each report shows as soon as it
// is decoded, by one thread.
std::unique_ptr<reportQueue> makeQueue(const runOptions& options) {
  reportFormat format;
  format.how = options.list ? reportFormat::kind::list
               : options.jsonl ? reportFormat::kind::jsonl
                               : reportFormat::kind::plain;
  format.utf8 = options.utf8;
  const bool console = mOutput::get().outputIsConsole();
  unsigned threads = console ? 1 : processorCount();
  if (threads > 16) threads = 16;
  const reportDecode::level level = options.levelForced ? options.level : reportDecode::best();
  // Where every byte of the OEM code page stands for one unit and back,
  // reports are decoded straight into the bytes that are written.
  return std::unique_ptr<reportQueue>(
      new reportQueue(format, level, threads, console, !oemTable::get().roundTrip));
}

}  // namespace

int tarvinRun(int argc, WCHAR** argv) {
  const runOptions options = mCmdLine::takeRunOptions(argc, argv);
  const bool json = options.jsonl || options.list;
  mOutput& output = mOutput::get();
  const auto utf8 = mOutput::encoding::utf8, oem = mOutput::encoding::oem;
  output.setEncodings(options.utf8 || json ? utf8 : oem, options.utf8 ? utf8 : oem);
  int exitCode = 0;
  {
    mstr indexPath;
    mstr out;
    unsigned counter = 0;
    mCmdLine commandLine;
    std::unique_ptr<reportQueue> queue;
    try {
      commandLine.parse(argc, argv);
      if (commandLine.getOption(u"?", out) || options.help) {
        out.append(kUsage);
        if (options.help) appendOptionHelp(out);
        out.print();
        requireWritten();
      } else if (options.version) {
        mstr(u"tarvin " TARVIN_VERSION "\n"
             u"Copyright (C) 2026 the Tarvin developers\n"
             u"License MIT: <https://opensource.org/licenses/MIT>.\n")
            .print();
        requireWritten();
      } else {
        mFileList& directories = commandLine.getSearchPaths(argc, argv);
        if (!options.quiet && output.errorIsConsole() && !output.outputIsConsole()) output.showProgress();
        queue = makeQueue(options);
        for (auto it = directories.begin(); auto* directory = it.step();)
          convertDirectory(*directory->value, indexPath, counter, *queue);
      }
    } catch (mEx& error) {
      printErrorText(error);
    } catch (outputLost& lost) {
      if (!lost.quiet) printErrorText(lost.error);
      exitCode = 1;
    } catch (...) {
      DWORD error = GetLastError();
      mstr line(u"Ошибка! ");
      line.appendNumber(static_cast<int>(error)).append(u"\n");
      // JSON lines stay JSON: there the line goes with the error texts.
      if (json)
        line.printError();
      else
        line.print();
      output.countErrorText();
    }
    // Released in this order: the command line, the output text (a long
    // usage text writes its size line here), the index path. The reports
    // never were in the output text: the size line of the last one, as the
    // output text would have held it with its separator, is written for it
    // (in the plain form only: JSON lines stay JSON).
    if (queue) {
      std::size_t last = queue->lastUnits();
      queue.reset();
      if (!json) mstr::printSizeLine(static_cast<int>(last));
    }
  }
  // What is still gathered goes out now; if it cannot, that output is lost
  // like any other.
  output.flush();
  if (exitCode == 0 && !mstr::lastWriteSucceeded()) {
    if (!readerWentAway(mstr::lastWriteError())) printErrorText(lostOutputError());
    exitCode = 1;
  }
  output.finish();
  if (exitCode == 0 && options.strict && output.errorTexts() > 0) exitCode = 2;
  return exitCode;
}
