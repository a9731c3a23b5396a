// The converter's options, the command-line parser and the search-path list
// on fuzzed arguments.
//
// Input: UTF-16 text, two bytes a unit, cut into arguments at every 0 unit
// (at most 64). An argument that names a list file ("@" once its quotes are
// gone) is pointed into the scratch directory: by its second unit, at a list
// file that does not exist, an empty one, or one holding the argument's own
// units as bytes.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "mCmdLine.h"
#include "options.h"

namespace {

const std::size_t kMaxArguments = 64;

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// The argument as the program will see it, or a scratch list file instead.
std::u16string confine(const std::u16string& argument) {
  mstr trimmed = typedArgument(reinterpret_cast<const unsigned short*>(argument.c_str()));
  if (trimmed.get_count() == 0 || trimmed.c_str()[0] != u'@') return argument;
  unsigned which = trimmed.get_count() > 1 ? trimmed.c_str()[1] % 3 : 0;
  std::string name = "list" + std::to_string(which);
  if (which == 1) {
    fuzz::scratch::write(name, nullptr, 0);
  } else if (which == 2) {
    std::string bytes;
    for (int i = 0; i < trimmed.get_count(); ++i) bytes += static_cast<char>(trimmed.c_str()[i]);
    fuzz::scratch::write(name, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  }
  std::string path = "@" + fuzz::scratch::path(name);
  trimmed.clear();
  return std::u16string(path.begin(), path.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  fuzz::units in(data, size);
  std::vector<std::u16string> arguments{u"tarvin"};
  std::u16string current;
  while (!in.empty() && arguments.size() < kMaxArguments) {
    unsigned short unit = in.next();
    if (unit == 0) {
      arguments.push_back(confine(current));
      current.clear();
    } else {
      current += static_cast<char16_t>(unit);
    }
  }
  if (arguments.size() < kMaxArguments) arguments.push_back(confine(current));
  std::vector<WCHAR*> argv;
  for (std::u16string& a : arguments) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  int argc = static_cast<int>(arguments.size());

  try {
    // The converter's own options never stay among the other arguments: a
    // second walk of those takes none, but after a "--", which ends them.
    bool ended = false;
    for (const std::u16string& a : arguments)
      ended = ended || typedArgument(reinterpret_cast<const unsigned short*>(a.c_str())) == mstr(u"--");
    std::vector<std::u16string> kept{u"tarvin"};
    takeRunOptions(argc, argv.data(), [&kept](const mstr& argument) {
      kept.emplace_back(reinterpret_cast<const char16_t*>(argument.c_str()));
    });
    std::vector<WCHAR*> keptArgv;
    for (std::u16string& a : kept) keptArgv.push_back(&a[0]);
    keptArgv.push_back(nullptr);
    std::size_t again = 1;
    takeRunOptions(static_cast<int>(kept.size()), keptArgv.data(), [&again](const mstr&) { ++again; });
    if (again != kept.size() && !ended) fault("an option left among the arguments");
    mCmdLine commandLine;
    commandLine.parse(argc, argv.data());
    mstr value;
    commandLine.getOption(u"?", value);
    // Any argument kept gives the switch sum, and it has six bits.
    if (kept.size() > 1 && !commandLine.getOption(u"flags", value)) fault("no flags option");
    int flags = value.toInt();
    if (flags < 0 || flags > 63) fault("flags outside the switch bits");
    value.clear();
    try {
      commandLine.getSearchPaths();
    } catch (mEx&) {
      // A list file that cannot be read.
    }
  } catch (mEx&) {
    // No memory for a text.
  }
  for (const char* name : {"list1", "list2"}) fuzz::scratch::remove(name);
  return 0;
}
