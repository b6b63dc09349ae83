// Reading a settings or script file the user's project holds: whatever
// lies under the name (a directory, a FIFO, a link to one, a file past the
// limit, one holding a NUL byte) is refused by name and status, never
// waited on, and nothing half-read is handed back.
#ifndef _WIN32  // the FIFO and the links are made with POSIX calls

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "files.h"
#include "statements.h"

namespace {

namespace fs = std::filesystem;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "wyn-files-XXXXXX").string();
    ASSERT_NE(mkdtemp(&t[0]), nullptr);
    dir = t;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string dir;
};

enum Kind { REGULAR, LINK_TO_REGULAR, DIRECTORY, FIFO, LINK_TO_FIFO, MISSING };

// Makes what the case names at dir/name, holding bytes where it holds any.
void make(const std::string& dir, const std::string& name, Kind kind, const std::string& bytes) {
  std::string path = dir + "/" + name, target = dir + "/target-" + name;
  switch (kind) {
    case REGULAR:
      std::ofstream(path, std::ios::binary) << bytes;
      break;
    case LINK_TO_REGULAR:
      std::ofstream(target, std::ios::binary) << bytes;
      ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
      break;
    case DIRECTORY:
      fs::create_directory(path);
      break;
    case FIFO:
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
      break;
    case LINK_TO_FIFO:
      ASSERT_EQ(mkfifo(target.c_str(), 0600), 0);
      ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
      break;
    case MISSING:
      break;
  }
}

const size_t kLimit = 16;

const struct Case {
  const char* what;
  Kind kind;
  std::string bytes;
  int status;         // what the file reader answers
  int config_status;  // errno of the configuration reader; 0 when it reads the file
  const char* reason;
} cases[] = {
    {"regular", REGULAR, "keyword A 1\n", 0, 0, ""},
    {"empty", REGULAR, "", 0, 0, ""},
    {"exactly the limit", REGULAR, std::string(kLimit, 'x'), 0, 0, ""},
    {"one past the limit", REGULAR, std::string(kLimit + 1, 'x'), EFBIG, EFBIG,
     "larger than 16 bytes"},
    {"link to a regular file", LINK_TO_REGULAR, "keyword B 2\n", 0, 0, ""},
    {"a NUL byte", REGULAR, std::string("key\0word", 8), 0, EILSEQ, "binary file"},
    {"directory", DIRECTORY, "", EISDIR, EISDIR, "is a directory"},
    {"FIFO", FIFO, "", EINVAL, EINVAL, "is a FIFO"},
    {"link to a FIFO", LINK_TO_FIFO, "", EINVAL, EINVAL, "is a FIFO"},
    {"missing", MISSING, "", ENOENT, ENOENT, "No such file"},
};

// Any bytes are read; the time handed back is the file's own.
TEST_F(Files, OnlyWholeRegularFilesAreRead) {
  for (const Case& c : cases) {
    std::string name = std::to_string(&c - cases);
    make(dir, name, c.kind, c.bytes);
    std::string path = dir + "/" + name, text = "left over", problem;
    wyn::FileTime when;
    when.sec = 1;
    EXPECT_EQ(wyn::read_regular_file(path, kLimit, &text, &when, &problem), c.status) << c.what;
    EXPECT_EQ(text, c.status == 0 ? c.bytes : "") << c.what;
    if (c.status != 0) {
      EXPECT_EQ(when.sec, 1) << c.what;
      EXPECT_NE(problem.find(c.reason), std::string::npos) << c.what << ": " << problem;
      continue;
    }
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0) << c.what;
    EXPECT_TRUE(when == wyn::modified_time(st)) << c.what;
    EXPECT_EQ(when.sec, st.st_mtim.tv_sec) << c.what;
    EXPECT_EQ(when.nsec, st.st_mtim.tv_nsec) << c.what;
  }
}

// The same files, and none holding a NUL byte.
TEST_F(Files, TheConfigurationReaderTakesWholeRegularFilesWithoutNul) {
  for (const Case& c : cases) {
    std::string name = std::to_string(&c - cases);
    make(dir, name, c.kind, c.bytes);
    std::string text = "left over", problem;
    errno = 0;
    bool read = wyn::read_config_file(dir + "/" + name, kLimit, &text, &problem);
    EXPECT_EQ(read, c.config_status == 0) << c.what;
    if (read) {
      EXPECT_EQ(text, c.bytes) << c.what;
      continue;
    }
    EXPECT_EQ(errno, c.config_status) << c.what;
    EXPECT_EQ(text, "") << c.what;
    EXPECT_NE(problem.find(c.reason), std::string::npos) << c.what << ": " << problem;
  }
}

}  // namespace

#endif
