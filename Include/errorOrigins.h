// Where each error text says it was raised: one entry for every error the
// library and the program raise, named for what failed.
//
// The module, line and function of an entry are not this program's source
// files and lines. They reproduce, letter for letter, what the Windows
// program writes in its error texts for the same failure, so that whoever
// reads those texts (or their JSON form) finds them unchanged; the program's
// own newer errors (module main, function wmain) continue its numbering
// there, one line each. The code is 1 for a failure and 2 for a data file
// that the index names but that is not there. The tests build the texts
// they expect from these same entries.
#ifndef TARVIN_ERRORORIGINS_H
#define TARVIN_ERRORORIGINS_H

// What an error says about its cause, for the code that decides what it
// costs: memory that could not be had, or anything else.
enum class errorKind { other, outOfMemory };

struct errorOrigin {
  const char* module;
  int line;
  const char* function;
  int code;
  errorKind kind = errorKind::other;
};

namespace origin {

// A file opened and read whole (mFile::openFileRead, mFile::readMapped).
inline constexpr errorOrigin fileNameEmpty{"Vc\\Include\\mFile", 203, "mFile::openFileRead", 1};
inline constexpr errorOrigin fileOpen{"Vc\\Include\\mFile", 208, "mFile::openFileRead", 1};
inline constexpr errorOrigin fileSize{"Vc\\Include\\mFile", 211, "mFile::openFileRead", 1};
inline constexpr errorOrigin fileMapping{"Vc\\Include\\mFile", 214, "mFile::openFileRead", 1};
inline constexpr errorOrigin fileView{"Vc\\Include\\mFile", 220, "mFile::openFileRead", 1};
// A read of mapped bytes faulted: the file was cut short or went away.
inline constexpr errorOrigin mappedReadFault{"Vc\\Include\\mFile", 240, "mFile::readMapped", 1};

// A directory the walk cannot list, or that names nothing.
inline constexpr errorOrigin directoryUnlisted{"Vc\\Include\\mFileObject", 184, "mFileObject::listTree", 1};
// A list file (@FILE) that cannot be opened, sized or read.
inline constexpr errorOrigin listFileOpen{"Vc\\Include\\mFileObject", 226, "mFileObject::GetFilesFromFileList", 1};
inline constexpr errorOrigin listFileSize{"Vc\\Include\\mFileObject", 230, "mFileObject::GetFilesFromFileList", 1};
inline constexpr errorOrigin listFileRead{"Vc\\Include\\mFileObject", 234, "mFileObject::GetFilesFromFileList", 1};

// Memory that an array of the library could not have; the function names
// the array's kind: any, UTF-16 units, bytes, strings.
inline constexpr errorOrigin allocation{"stack_ob", 496, "stack_ob::get_size", 1, errorKind::outOfMemory};
inline constexpr errorOrigin allocationUnits{"stack_ob", 496, "stack_ob<unsigned short,0,0>::get_size", 1,
                                             errorKind::outOfMemory};
inline constexpr errorOrigin allocationBytes{"stack_ob", 496, "stack_ob<unsigned char,0,0>::get_size", 1,
                                             errorKind::outOfMemory};
inline constexpr errorOrigin allocationStrings{"stack_ob", 496, "stack_ob<class mstr,1,0>::get_size", 1,
                                               errorKind::outOfMemory};

// The index: a data file it names is not there; no memory for what it holds.
inline constexpr errorOrigin dataFileMissing{"mFileIndex", 106, "mFileIndex::open", 2};
inline constexpr errorOrigin indexMemory{"mFileIndex", 112, "mFileIndex::open", 1, errorKind::outOfMemory};

// The program's own: output that could not be written, the files of -o and
// --split, data that no index record names.
inline constexpr errorOrigin outputLost{"main", 1, "wmain", 1};
inline constexpr errorOrigin outputFile{"main", 2, "wmain", 1};
// The split directory, or one below it, cannot be made or used.
inline constexpr errorOrigin splitDirectory{"main", 3, "wmain", 1};
// A split file cannot be made, or its name is taken.
inline constexpr errorOrigin splitFile{"main", 4, "wmain", 1};
// A link, a directory or a special file has a split file's name.
inline constexpr errorOrigin splitFileInTheWay{"main", 5, "wmain", 1};
inline constexpr errorOrigin outputIsInput{"main", 6, "wmain", 1};
// A finished output file cannot be renamed into place.
inline constexpr errorOrigin outputMove{"main", 7, "wmain", 1};
// A link, or no directory, on the way below the split directory.
inline constexpr errorOrigin splitLink{"main", 8, "wmain", 1};
// Warnings: a data file that no record names, the leading bytes of one.
inline constexpr errorOrigin orphanedData{"main", 9, "wmain", 1};
inline constexpr errorOrigin unreferencedBytes{"main", 10, "wmain", 1};

}  // namespace origin

#endif  // TARVIN_ERRORORIGINS_H
