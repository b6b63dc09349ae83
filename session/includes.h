// A script's #include lines, found by the plug-in's colours (one in a
// comment or a string is no directive), and the files they name: looked
// for beside the including file, then in the configured include folders
// in order. Scripts written on Windows name files in any letter case and
// with backslashes, so a name not there exactly is matched a component at
// a time, letter case aside. Following includes from file to file is
// bounded in depth and in files, and each file is read once: a cycle is
// found and said, never followed round.
#ifndef WYN_SESSION_INCLUDES_H
#define WYN_SESSION_INCLUDES_H

#include <stddef.h>

#include <functional>
#include <map>
#include <unordered_map>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "session.h"

namespace wyn {

struct IncludeLine {
  size_t at = 0;            // the '#'
  size_t from = 0, to = 0;  // the name, without its quotes or brackets
  std::string name;
};

// The #include "NAME" and #include <NAME> lines of text, in order, whose
// bytes are coloured as cats says (a shorter cats leaves the rest
// uncoloured, taken as code).
std::vector<IncludeLine> find_includes(const std::string& text,
                                       const std::vector<signed char>& cats);

// Folders' entries, each folder listed once and kept: for a command that
// follows the includes of many scripts in one run, which would otherwise
// list a script's folder again for each script whose include is not there
// in its exact letter case. An entry made after its folder was listed is
// not seen, so what runs for long (the server) keeps none.
class FolderListings {
 public:
  // The entries of folder (a path; "" for the current folder) named as
  // name is but for letter case, in byte order; null when the folder
  // cannot be listed.
  const std::vector<std::string>* alike(const std::string& folder, const std::string& name);

 private:
  struct Listing {
    bool ok = false;
    std::unordered_map<std::string, std::vector<std::string>> by_key;  // by key()
  };
  static std::string key(std::string name);  // in ASCII lower case
  std::unordered_map<std::string, Listing> folders_;
};

// The file name stands for, seen from a script in folder (a path ending in
// '/' or not; "" for the current folder), then in each of dirs: the first
// regular file found, as a path; "" when there is none. With listings,
// folders are listed through it.
std::string resolve_include(const std::string& name, const std::string& folder,
                            const std::vector<std::string>& dirs,
                            FolderListings* listings = nullptr);

// The folder part of path: up to and with its last '/'; "" when none.
std::string folder_of(const std::string& path);

// Reads the script at path and its colours for following its includes;
// false when it cannot be read.
using IncludeReader =
    std::function<bool(const std::string& path, std::string* text, std::vector<signed char>* cats)>;

// The reader most callers want: a regular file of at most limit bytes,
// coloured whole in scratch (a Document of the loaded plug-in).
IncludeReader coloured_reader(Document& scratch, size_t limit = (size_t)4 << 20);

// What a reader gave for each file, kept and given again while the file's
// size and modification time stay as they were, so that following a
// script's includes again after each edit reads and colours only the
// files that changed. Holds at most budget bytes of text and colours;
// past that it starts again empty. A file that cannot be examined is
// read every time.
class IncludeCache {
 public:
  explicit IncludeCache(size_t budget = (size_t)16 << 20) : budget_(budget) {}
  // A reader that answers from the cache and asks inner for files not in
  // it or changed since. The cache must outlive it.
  IncludeReader reader(IncludeReader inner);
  void clear();

 private:
  struct Entry {
    long long size = 0, seconds = 0, nanoseconds = 0;
    bool ok = false;
    std::string text;
    std::vector<signed char> cats;
  };
  bool read(const IncludeReader& inner, const std::string& path, std::string* text,
            std::vector<signed char>* cats);
  std::map<std::string, Entry> entries_;
  size_t held_ = 0, budget_;
};

// How deep includes are followed, and how many files at most.
const int kIncludeDepth = 32;
const size_t kIncludeFiles = 1000;

// The files reached from a script at path whose includes are given,
// directly or through others, nearest first (all it includes, then all
// those include, ...), each once and path itself never.
std::vector<std::string> included_files(const std::string& path,
                                        const std::vector<IncludeLine>& includes,
                                        const std::vector<std::string>& dirs,
                                        const IncludeReader& read);

// Warnings about the includes of the script at path (text, coloured as
// cats says): a file that is found nowhere, naming the folders searched
// (the author may have had folders configured that are not known here,
// so never an error), and a chain of includes that comes back to a file
// already on it, naming the chain. Each at its include line. With
// listings, folders are listed through it.
std::vector<Diagnostic> check_includes(const std::string& path, const std::string& text,
                                       const std::vector<signed char>& cats,
                                       const std::vector<std::string>& dirs,
                                       const IncludeReader& read,
                                       FolderListings* listings = nullptr);

// The include-dir entries of a configuration file's text, made absolute
// against the folder of config_path, in order. Malformed text gives none:
// applying the file says what is wrong with it.
std::vector<std::string> config_include_dirs(const std::string& text,
                                             const std::string& config_path);

}  // namespace wyn

#endif
