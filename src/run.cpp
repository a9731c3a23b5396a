#include "run.h"

#include <memory>

#include "mCmdLine.h"
#include "mFileIndex.h"

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

// Checks the write just made to standard output.
void requireWritten() {
  if (mstr::lastWriteSucceeded()) return;
  if (readerWentAway(mstr::lastWriteError())) throw outputLost{mEx(), true};
  SetLastError(mstr::lastWriteError());
  mEx ex("main", 1, "wmain", 1);
  ex.addSystemError().appendText(u"func=WriteFile Данные не записаны в стандартный вывод.");
  throw outputLost{std::move(ex)};
}

void convertDirectory(const mFileObject& directory, mstr& indexPath, mstr& out,
                      unsigned& counter) {
  mFileList files;
  std::unique_ptr<mFileIndex> index;
  try {
    directory.listTree(files, 1, u"*.idx");
    for (auto f = files.begin(); auto* file = f.step();) {
      file->value->getFullPath(indexPath);
      index.reset(new mFileIndex);
      index->open(indexPath);
      for (auto e = index->entries.begin(); auto* entry = e.step();) {
        try {
          index->readReport(entry, out);
          out.append(u"+++").appendNumber(static_cast<int>(counter));
          out.print(u"\n");
          requireWritten();
          ++counter;
        } catch (mEx& error) {
          printErrorText(error);
        }
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
  bool longOutput = false;
  {
    mstr indexPath;
    mstr out;
    unsigned counter = 0;
    mCmdLine commandLine;
    try {
      commandLine.parse(argc, argv);
      if (commandLine.getOption(u"?", out)) {
        out.append(kUsage);
        out.print();
        requireWritten();
      } else {
        mFileList& directories = commandLine.getSearchPaths(argc, argv);
        for (auto it = directories.begin(); auto* directory = it.step();)
          convertDirectory(*directory->value, indexPath, out, counter);
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
      line.print();
    }
    // Released in this order: the command line, the output text (a long
    // last report writes its size line here), the index path.
    longOutput = out.get_count() > 10000;
  }
  if (longOutput && exitCode == 0 && !mstr::lastWriteSucceeded()) exitCode = 1;
  return exitCode;
}
