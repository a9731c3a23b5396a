// mFileObject: one entry of the file system, held as a directory (`dir`) and
// a name (the mstr it derives from).
//
// It splits a user's path into that pair (a bare name gets the current
// directory), composes the full path, strips an extension, tells what a path
// names, and lists a directory, or a whole tree, by a wildcard mask into an
// mFileList: the tree_ob of mFileObject ordered by name.
#ifndef TARVIN_MFILEOBJECT_H
#define TARVIN_MFILEOBJECT_H

#include <memory>
#include <vector>

#include "mEx.h"
#include "mstr.h"
#include "tree_ob.h"

class mFileObject;
typedef tree_ob<mFileObject> mFileList;

// How a list file of directories is read: the code page of its text
// (CP_OEMCP, or CP_UTF8, where bytes that are no UTF-8 are kept as names
// keep them), and what ends an entry: CR, LF or CR LF, or with `nulEnds` a
// NUL alone (find -print0). A line that holds a NUL names no directory: it
// is skipped, and its number (from 1) goes to `linesWithNul`, if given.
struct listFileForm {
  UINT codePage = CP_OEMCP;
  bool nulEnds = false;
  std::vector<int>* linesWithNul = nullptr;
};

class mFileObject : public mstr {
 public:
  mstr dir;

  mFileObject() = default;
  // Name = the path, then the path rule splits it.
  explicit mFileObject(const mstr& path);
  // Name and directory as given; trailing separators leave the directory.
  mFileObject(const mstr& name, const mstr& directory);
  mFileObject(const unsigned short* name, const mstr& directory);
  mFileObject(const mFileObject& other);
  mFileObject& operator=(const mFileObject& other);
  ~mFileObject() override = default;

  mFileObject& setPath(const mstr& path);
  // The directory of another object, and the way the system reaches it.
  mFileObject& setDirOf(const mFileObject& other);
  // The directory, the separator, then the name: the path as messages show
  // it.
  mstr& getFullPath(mstr& out) const;
  // The path by which the system reaches it: the full path, or for what a
  // walk or a listing found (and a name beside it), the path below the
  // platform's walk root (on Windows "\\?\" and the absolute path), so
  // that its names are taken as they are.
  mstr& getSystemPath(mstr& out) const;
  mstr& getName(mstr& out) const;
  mstr& getDir(mstr& out) const;
  // The name less its last extension (the last "." and all after it).
  mstr& getNameNoExt(mstr& out) const;
  // What the full path names: 1 an existing file of exactly this name, -1 an
  // existing directory of exactly this name, 0 found under another form of
  // the name (or the path cannot be resolved), -2 nothing.
  int getKind() const;

  // Add the entries of this directory that match the mask (null: "*.*") and
  // are files, or directories.
  mFileList& listFiles(mFileList& list, const unsigned short* mask) const;
  mFileList& listDirs(mFileList& list, const unsigned short* mask) const;
  mFileList& listFiles(mFileList& list, const char16_t* mask) const {
    return listFiles(list, reinterpret_cast<const unsigned short*>(mask));
  }
  mFileList& listDirs(mFileList& list, const char16_t* mask) const {
    return listDirs(list, reinterpret_cast<const unsigned short*>(mask));
  }
  // A directory a walk could not search: its path as messages show it, and
  // the error that names it.
  struct unlisted {
    mstr path;
    mEx error;
  };
  // Adds the matching files of this directory and of every subdirectory at
  // any depth; with skipSelf 0 also each directory itself. The list orders
  // them by name, equal names in walk order: a directory's own entries before
  // its subdirectories', subdirectories in name order, depth first. Each
  // directory is walked once per call, under the first path that reaches it;
  // later paths to it (links) are passed over. A directory that cannot be
  // searched (access denied, an I/O error, vanished, a path too long for the
  // system) is passed over with what lies below it; an error naming it, with
  // the system's code, is appended to `errors`, if given (the library prints
  // nothing), and the walk goes on. So is one for where the walk starts,
  // when that is no directory that can be searched. With `also`, the same
  // listings add the files whose names it wants to its list too, in the same
  // order.
  struct alsoGather {
    mFileList* list;
    bool (*wanted)(const unsigned short* name);
  };
  mFileList& listTree(mFileList& list, int skipSelf, const unsigned short* mask,
                      std::vector<unlisted>* errors = nullptr, const alsoGather* also = nullptr) const;
  mFileList& listTree(mFileList& list, int skipSelf, const char16_t* mask,
                      std::vector<unlisted>* errors = nullptr, const alsoGather* also = nullptr) const {
    return listTree(list, skipSelf, reinterpret_cast<const unsigned short*>(mask), errors, also);
  }

  // Reads a list file of directories into the list: one path an entry, as
  // `form` says (its code page; LF, CR LF and CR each end one, or NUL alone;
  // the last may end with the file), each split by the path rule; blank
  // entries and lines that hold a NUL are skipped. "-" is standard input.
  // One whose size reads as 0 (a pipe, a FIFO, a device) is read to its end,
  // a FIFO once its writer comes. `textUnits`, when given, receives the
  // characters of its text. Raises mEx when the file cannot be opened, sized
  // or read, and the allocation error when it is larger than an array holds
  // (2 GiB).
  static mFileList& GetFilesFromFileList(mFileList& list, const mstr& fileName, int* textUnits = nullptr,
                                         const listFileForm& form = listFileForm());

 private:
  // How the system reaches what one walk found: the full path of the
  // directory it started from, as shown, is `shownLength` units long; the
  // system reaches it by `path`.
  struct walkRoot {
    int shownLength;
    mstr path;
  };

  void applyPathRule();
  void setDir(const mstr& directory);
  // The walk root of what is found below this directory (null: each is
  // reached by its full path).
  std::shared_ptr<const walkRoot> rootBelow() const;
  // What a search found, named `name` in the directory whose path is
  // `directory`, below `root`.
  static mFileObject* entry(const unsigned short* name, const mstr& directory,
                           const std::shared_ptr<const walkRoot>& root);
  mFileList& listing(mFileList& list, const unsigned short* mask, DWORD wantedDirectoryBit) const;

  std::shared_ptr<const walkRoot> root_;  // null for a name the user typed
};

#endif  // TARVIN_MFILEOBJECT_H
