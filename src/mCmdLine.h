// mCmdLine: the program's arguments as an option store, and the list of
// directories to convert.
//
// Every switch is stored under its name (the text between the switch
// character and the first ":") with the rest as its value. "/install",
// "/remove", "/start", "/test", "/run" and "/log:" add up to a bit sum kept as
// "flags"; "/log:" and "/deb:" also give "log" and "debug". Every argument
// that is not a switch names a directory, or with a leading "@" a list file
// of directories.
#ifndef TARVIN_MCMDLINE_H
#define TARVIN_MCMDLINE_H

#include <vector>

#include "mFileObject.h"
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
  // characters of its text and the entries it gave.
  struct listFile {
    mstr argument;
    int units;
    int entries;
  };
  std::vector<listFile> listFiles;

  ~mCmdLine() override = default;

  // Fills the option store from the arguments (argv[0], the program, is
  // skipped). Does nothing with fewer than two.
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

  // Fills and returns the list of directories: the directory arguments and
  // the entries of every list file, ordered by their last path component.
  // Raises mEx when a list file cannot be read.
  mFileList& getSearchPaths(int argc, WCHAR** argv);

 private:
  typedef tree_ob<mstr> argument_set;
  static void collectArguments(argument_set& set, int argc, WCHAR** argv);
};

#endif  // TARVIN_MCMDLINE_H
