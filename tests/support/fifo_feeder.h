// A writer for a FIFO a test made in its own folder: it writes its text as
// soon as a reader opens the FIFO, so that a program that wrongly opens one
// takes what it reads (and the test sees it) rather than waiting for ever.
// When it goes, it lets the writer go if no one read. POSIX only.
#ifndef WYN_SUPPORT_FIFO_FEEDER_H
#define WYN_SUPPORT_FIFO_FEEDER_H

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace support {

class FifoFeeder {
 public:
  FifoFeeder(const std::string& path, const std::string& text)
      : path_(path), writer_([path, text] {
          int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
          if (fd < 0) return;
          if (write(fd, text.data(), text.size()) < 0) perror("FIFO");
          close(fd);
        }) {}
  ~FifoFeeder() {
    int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer_.join();
    if (fd >= 0) close(fd);
  }

 private:
  std::string path_;
  std::thread writer_;
};

}  // namespace support

#endif
