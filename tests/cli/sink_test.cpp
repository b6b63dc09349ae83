// The streaming output sink, called in-process: a file output takes its
// chunks as they come, leaves the old text (or nothing) in place until
// commit, keeps what the file was, and an abort leaves no trace.
#include <sys/stat.h>

#include "output.h"
#include "tool_run.h"

namespace {

struct SinkCase {
  const char* name;
  const char* before;  // the target's text beforehand; null: no file
  bool hard_link;      // a second name shares the target
  bool commit;         // commit, else abort
};

const SinkCase sink_cases[] = {
    {"new file", nullptr, false, true},
    {"regular file", "old text\r\n", false, true},
    {"hard-linked file", "old text\r\n", true, true},
    {"new file, aborted", nullptr, false, false},
    {"regular file, aborted", "old text\r\n", false, false},
};

size_t entries(const std::string& dir) {
  size_t n = 0;
  for (auto it = std::filesystem::directory_iterator(dir);
       it != std::filesystem::directory_iterator(); ++it)
    n++;
  return n;
}

class SinkTest : public ToolTest {};

TEST_F(SinkTest, ChunksLandWholeAtCommitOnly) {
  const std::string chunks[] = {"function A()\r\n", "", std::string(100000, 'x'), "\nend;\n"};
  std::string whole;
  for (const std::string& c : chunks) whole += c;
  for (const SinkCase& c : sink_cases) {
    SCOPED_TRACE(c.name);
    std::string target = dir + "/out.html", other = dir + "/other";
    std::filesystem::remove(target);
    std::filesystem::remove(other);
    if (c.before) {
      write_file(target, c.before);
      chmod(target.c_str(), 0604);
      if (c.hard_link) {
        ASSERT_EQ(link(target.c_str(), other.c_str()), 0);
      }
    }
    size_t files = entries(dir);
    OutputSink* sink = output_open(target.c_str());
    ASSERT_NE(sink, nullptr);
    for (const std::string& chunk : chunks)
      ASSERT_TRUE(output_write(sink, chunk.data(), chunk.size()));
    // Nothing new is visible under the target's name before commit.
    EXPECT_EQ(std::filesystem::exists(target), c.before != nullptr);
    if (c.before) {
      EXPECT_EQ(read_file(target), c.before);
    }
    if (c.commit) {
      ASSERT_TRUE(output_commit(sink));
      EXPECT_EQ(read_file(target), whole);
      if (c.hard_link) {
        EXPECT_EQ(read_file(other), whole);
      }
      struct stat st;
      ASSERT_EQ(stat(target.c_str(), &st), 0);
      if (c.before) {
        EXPECT_EQ(st.st_mode & 07777, 0604u);
      }
    } else {
      output_abort(sink);
      EXPECT_EQ(std::filesystem::exists(target), c.before != nullptr);
      if (c.before) {
        EXPECT_EQ(read_file(target), c.before);
      }
    }
    // No temporary file is left beside the target.
    EXPECT_EQ(entries(dir), files + (c.before || !c.commit ? 0 : 1));
  }
}

TEST_F(SinkTest, RefusesAFolderAndAMissingFolder) {
  for (std::string out : {dir, dir + "/missing/out.html"}) {
    SCOPED_TRACE(out);
    EXPECT_EQ(output_open(out.c_str()), nullptr);
    EXPECT_EQ(entries(dir), 0u);
  }
}

}  // namespace
