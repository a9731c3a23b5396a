// mCmdLine: the program's arguments, walked once: the converter's options,
// an option store of the switches, and the list of directories to convert.
//
// Equal arguments count once. Every switch is stored under its name (the
// text between the switch character and the first ":") with the rest as its
// value. The known switches (options.h) with a bit add up to a bit sum kept
// as "flags"; "/log:" and "/deb:" also give "log" and "debug". Every
// argument that is neither an option nor a switch names a directory, or with
// a leading "@" a list file of directories.
#ifndef TARVIN_MCMDLINE_H
#define TARVIN_MCMDLINE_H

#include <vector>

#include "mFileObject.h"
#include "options.h"
#include "tree_ob.h"

class mOption {
 public:
  mstr name;
  mstr value;

  mOption() = default;
  mOption(const mstr& name_, const mstr& value_) : name(name_), value(value_) {}
  mOption(const mOption&) = default;
  mOption& operator=(const mOption&) = default;
  virtual ~mOption() = default;
};

template <>
struct tree_key<mOption> {
  typedef mstr key_type;
  static const mstr& key(const mOption& option) { return option.name; }
  static int compare(const mstr& a, const mstr& b) { return a.compare(b.c_str()); }
};

class mCmdLine : public tree_ob<mOption> {
 public:
  mFileList searchPaths;
  // Each list file read, in the order read: its argument ("@name"), the
  // characters of its text, the entries it gave and the lines it skipped for
  // a NUL they hold.
  struct listFile {
    mstr argument;
    int units;
    int entries;
    std::vector<int> linesWithNul;
  };
  std::vector<listFile> listFiles;
  // The converter's options, as parse found them.
  runOptions options;

  ~mCmdLine() override = default;

  // Walks the arguments (argv[0], the program, is skipped): takes the
  // options, fills the option store from the switches, and keeps the other
  // arguments for getSearchPaths. Stores nothing when every argument was an
  // option. "/?" and "/?:TEXT" ask for the usage text through options.help.
  void parse(int argc, WCHAR** argv);
  // Empties `out`; when the option exists copies its value there and
  // returns true.
  bool getOption(const unsigned short* name, mstr& out) const;
  bool getOption(const char16_t* name, mstr& out) const {
    return getOption(reinterpret_cast<const unsigned short*>(name), out);
  }
  // Stores an option; one of the same name is replaced.
  void setOption(const mstr& name, const mstr& value);
  void setOption(const mstr& name, const unsigned short* value);
  void setOption(const mstr& name, int value);

  // The names of the list files that the arguments name ("-" for "@-").
  std::vector<mstr> listFileNames() const;
  // Fills and returns the list of directories: the directory arguments and
  // the entries of every list file, read in `codePage`, ordered by their
  // last path component. Raises mEx when a list file cannot be read.
  mFileList& getSearchPaths(UINT codePage = CP_OEMCP);

 private:
  typedef tree_ob<mstr> argument_set;
  argument_set arguments_;  // the arguments parse kept, equal ones once, in text order
  // The name of the list file that an argument names, if it names one.
  static bool listFileName(const mstr& argument, mstr& name);
};

#endif  // TARVIN_MCMDLINE_H
