#include "run.h"

#include <bitset>
#include <memory>

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

// Standard output could not be written: the run stops, since every further
// report would be lost too.
struct outputLost {
  mEx error;
};

mEx lostOutputError() {
  SetLastError(mstr::lastWriteError());
  mEx ex("main", 1, "wmain", 1);
  ex.addSystemError().appendText(u"func=WriteFile Данные не записаны в стандартный вывод.");
  return ex;
}

// Checks that standard output has taken everything so far.
void requireWritten() {
  if (!mstr::lastWriteSucceeded()) throw outputLost{lostOutputError()};
}

// The processors this process may use.
unsigned processorCount() {
  DWORD_PTR mine = 0, all = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &mine, &all) || mine == 0) return 1;
  return static_cast<unsigned>(std::bitset<8 * sizeof mine>(mine).count());
}

// Writes the reports of an index one by one through the output string: the
// way for an OEM code page in which decoded text is not simply its bytes.
void convertReports(mFileIndex& index, mstr& out, unsigned& counter) {
  for (auto e = index.entries.begin(); auto* entry = e.step();) {
    try {
      index.readReport(entry, out);
      out.append(u"+++").appendNumber(static_cast<int>(counter));
      out.print(u"\n");
      requireWritten();
      ++counter;
    } catch (mEx& error) {
      printErrorText(error);
    }
  }
}

void convertDirectory(const mFileObject& directory, mstr& indexPath, mstr& out, unsigned& counter,
                      reportQueue* queue) {
  mFileList files;
  std::unique_ptr<mFileIndex> index;
  try {
    directory.listTree(files, 1, u"*.idx");
    for (auto f = files.begin(); auto* file = f.step();) {
      file->value->getFullPath(indexPath);
      index.reset(new mFileIndex);
      index->open(indexPath);
      if (queue) {
        queue->write(*index, indexPath, counter);
        requireWritten();
      } else {
        convertReports(*index, out, counter);
      }
      index.reset();
    }
  } catch (mEx& error) {
    printErrorText(error);
  }
}

}  // namespace

int tarvinRun(int argc, WCHAR** argv) {
  int exitCode = 0;
  {
    mstr indexPath;
    mstr out;
    unsigned counter = 0;
    mCmdLine commandLine;
    std::unique_ptr<reportQueue> queue;
    try {
      commandLine.parse(argc, argv);
      if (commandLine.getOption(u"?", out)) {
        out.append(kUsage);
        out.print();
        requireWritten();
      } else {
        mFileList& directories = commandLine.getSearchPaths(argc, argv);
        // Where every byte of the OEM code page stands for one unit and back,
        // reports are decoded straight into the bytes that are written, and
        // on every core. On a console each report shows as soon as it is
        // decoded, by one thread.
        if (oemTable::get().roundTrip) {
          const bool console = mOutput::get().outputIsConsole();
          unsigned threads = console ? 1 : processorCount();
          if (threads > 16) threads = 16;
          queue.reset(new reportQueue(reportFormat{}, reportDecode::best(), threads, console));
        }
        for (auto it = directories.begin(); auto* directory = it.step();)
          convertDirectory(*directory->value, indexPath, out, counter, queue.get());
      }
    } catch (mEx& error) {
      printErrorText(error);
    } catch (outputLost& lost) {
      printErrorText(lost.error);
      exitCode = 1;
    } catch (...) {
      DWORD error = GetLastError();
      mstr line(u"Ошибка! ");
      line.appendNumber(static_cast<int>(error)).append(u"\n");
      line.print();
    }
    // Released in this order: the command line, the output text (a long
    // last report writes its size line here), the index path. Reports
    // written by the queue never were in the output text: their last one's
    // size line is written for it.
    if (queue) {
      std::size_t last = queue->lastUnits();
      queue.reset();
      mstr::printSizeLine(static_cast<int>(last));
    }
  }
  // What is still gathered goes out now; if it cannot, that output is lost
  // like any other.
  mOutput::get().flush();
  if (exitCode == 0 && !mstr::lastWriteSucceeded()) {
    printErrorText(lostOutputError());
    exitCode = 1;
  }
  return exitCode;
}
