// wyn check over many files at once: each file checked in one of several
// worker processes, the results handed back in the order of the files, so
// that what is printed and the exit status are those of one process.
#ifndef WYN_CHECK_WORKERS_H
#define WYN_CHECK_WORKERS_H

#include <functional>
#include <string>
#include <vector>

#include "tool.h"

// What checking one file gave, ready to print: its problems as lines, or
// as JSON items without the array's separators.
struct CheckedFile {
  enum Status : unsigned char {
    CHECKED,
    UNREADABLE,  // said on stderr; the others are still checked
    FATAL        // said on stderr; the run ends here
  };
  Status status = CHECKED;
  bool found_error = false;
  std::vector<std::string> items;
};

// Checks one file in this process: what it says on stderr goes there as
// it is said. May throw std::bad_alloc.
using CheckOne = std::function<CheckedFile(const std::string& name)>;
// Takes one file's result, its stderr already written: false ends the run.
using TakeChecked = std::function<bool(const CheckedFile&)>;

// How many processes check names: --jobs, else one per core, and one for a
// few files, for standard input, for stdout that is one of the files (its
// message comes as one process says it), and on Windows.
int check_processes(const Options& opt, const std::vector<std::string>& names);

// Checks names in `processes` (at least 2) worker processes and hands
// each result to take in the order of names, with what the file's check
// said on stderr written just before. A file whose worker ended before
// finishing it (a crash) is said on stderr and taken as unreadable. False
// when take ended the run; the workers are then gone.
bool check_in_workers(const std::vector<std::string>& names, int processes,
                      const CheckOne& check_one, const TakeChecked& take);

#endif
