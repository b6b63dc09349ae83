// Checking files in worker processes. The plug-in and the stand-in keep
// module-wide state, one session a process, so the files are shared among
// forked processes rather than threads. Each worker takes the next file
// from a counter in shared memory, so a long file holds up no other, and
// sends its result down its own pipe; what it says on stderr goes to an
// anonymous file of its own, and the result names the bytes it said for
// that file. The parent prints the results in the files' order.
#include <assert.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <new>

#include "check_workers.h"

namespace {

// Below this many files a run is not worth the workers' start-up.
const size_t fewest_files = 16;
const int most_processes = 64;

// Shared by the parent and its workers: the next file to take, and the
// file each worker is at (-1: none), to name the file of a worker that
// dies.
struct Shared {
  std::atomic<size_t> next{0};
  std::atomic<long> at[most_processes];
};

struct Worker {
  pid_t pid = -1;
  int pipe = -1;    // the parent's end: results
  int said = -1;    // the worker's stderr
  std::string got;  // read from pipe, not yet a whole result
  int status = 0;   // as waitpid says, once it ended
};

void put_u64(std::string* out, uint64_t v) {
  out->append((const char*)&v, sizeof v);
}

uint64_t get_u64(const char* at) {
  uint64_t v;
  memcpy(&v, at, sizeof v);
  return v;
}

// One result as it goes down a pipe: its length, then the file's index,
// the stderr bytes it said, status, found_error, and each item with its
// length before it.
std::string encode(size_t index, off_t said_from, off_t said_to, const CheckedFile& r) {
  std::string body;
  put_u64(&body, index);
  put_u64(&body, (uint64_t)said_from);
  put_u64(&body, (uint64_t)said_to);
  body += (char)r.status;
  body += (char)r.found_error;
  for (const std::string& item : r.items) {
    put_u64(&body, item.size());
    body += item;
  }
  std::string out;
  put_u64(&out, body.size());
  return out + body;
}

struct Decoded {
  size_t index = 0;
  uint64_t said_from = 0, said_to = 0;
  CheckedFile result;
};

// Takes the first whole result off buf: false while there is none.
bool decode(std::string* buf, Decoded* d) {
  if (buf->size() < 8) return false;
  uint64_t n = get_u64(buf->data());
  if (buf->size() - 8 < n) return false;
  const char* p = buf->data() + 8;
  const char* end = p + n;
  assert(n >= 26);
  d->index = (size_t)get_u64(p);
  d->said_from = get_u64(p + 8);
  d->said_to = get_u64(p + 16);
  d->result.status = (CheckedFile::Status)p[24];
  d->result.found_error = p[25] != 0;
  for (p += 26; p < end;) {
    uint64_t len = get_u64(p);
    d->result.items.emplace_back(p + 8, (size_t)len);
    p += 8 + len;
  }
  buf->erase(0, (size_t)(8 + n));  // n fits: the buffer holds it
  return true;
}

bool write_all(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    n -= (size_t)w;
  }
  return true;
}

// A worker's life: files from the shared counter until none is left or
// one ends the run. Never returns.
[[noreturn]] void work(int me, const std::vector<std::string>& names, Shared* shared, int pipe,
                       const CheckOne& check_one) {
  for (;;) {
    size_t i = shared->next.fetch_add(1);
    if (i >= names.size()) break;
    shared->at[me] = (long)i;
    off_t from = lseek(2, 0, SEEK_CUR);
    CheckedFile r;
    try {
      r = check_one(names[i]);
    } catch (const std::bad_alloc&) {
      out_of_memory();
      r = CheckedFile();
      r.status = CheckedFile::FATAL;
    }
    fflush(stderr);
    off_t to = lseek(2, 0, SEEK_CUR);
    // The parent gone (its output failed), or no memory to say it: a
    // file not reported is said by the parent as one not checked.
    try {
      std::string sent = encode(i, from, to, r);
      if (!write_all(pipe, sent.data(), sent.size())) _exit(EXIT_ERROR);
    } catch (const std::bad_alloc&) {
      _exit(EXIT_ERROR);
    }
    if (r.status == CheckedFile::FATAL) break;
  }
  shared->at[me] = -1;
  _exit(EXIT_DONE);
}

// Copies what a worker said on stderr between from and to to ours.
void relay(int said, uint64_t from, uint64_t to) {
  fflush(stderr);
  char buf[8192];
  while (from < to) {
    size_t want = (size_t)std::min<uint64_t>(sizeof buf, to - from);
    ssize_t n = pread(said, buf, want, (off_t)from);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    if (!write_all(2, buf, (size_t)n)) return;
    from += (uint64_t)n;
  }
}

// How a worker that left file i unchecked ended, for its message.
std::string how_it_ended(const std::vector<Worker>& workers, const Shared* shared, size_t i) {
  for (size_t w = 0; w < workers.size(); w++) {
    if (shared->at[w] != (long)i) continue;
    int st = workers[w].status;
    if (WIFSIGNALED(st))
      return std::string("its checking process ended by signal ") + std::to_string(WTERMSIG(st)) +
             " (" + strsignal(WTERMSIG(st)) + ")";
    if (WIFEXITED(st))
      return "its checking process ended with status " + std::to_string(WEXITSTATUS(st));
  }
  return "a checking process ended before it";
}

// Ends the workers still running (the run ended early) and waits for all.
void end_workers(std::vector<Worker>* workers, bool kill_them) {
  for (Worker& w : *workers) {
    if (w.pipe >= 0) close(w.pipe);
    w.pipe = -1;
    if (w.said >= 0) close(w.said);
    w.said = -1;
    if (w.pid <= 0) continue;
    if (kill_them) kill(w.pid, SIGKILL);
    while (waitpid(w.pid, &w.status, 0) < 0 && errno == EINTR) {
    }
    w.pid = -1;
  }
}

}  // namespace

int check_processes(const Options& opt, const std::vector<std::string>& names) {
  long cores = sysconf(_SC_NPROCESSORS_ONLN);
  long n = opt.jobs > 0 ? opt.jobs : names.size() < fewest_files ? 1 : cores;
  n = std::min<long>({n, (long)names.size(), most_processes});
  if (n < 2) return 1;
  for (const std::string& name : names)
    if (name == "-") return 1;
  // Stdout that is one of the inputs ends the run when the first problem
  // is written; one process says so at the same point as always.
  struct stat out, in;
  if (fstat(1, &out) == 0 && S_ISREG(out.st_mode))
    for (const std::string& name : names)
      if (stat(name.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        return 1;
  return (int)n;
}

bool check_in_workers(const std::vector<std::string>& names, int processes,
                      const CheckOne& check_one, const TakeChecked& take) {
  assert(processes >= 2 && processes <= most_processes);
  void* map =
      mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) throw std::bad_alloc();
  Shared* shared = new (map) Shared;
  for (std::atomic<long>& at : shared->at) at = -1;
  std::vector<Worker> workers((size_t)processes);
  // Nothing buffered may be written twice, once by a worker.
  out_flush();
  fflush(stderr);
  bool started = true;
  for (int w = 0; w < processes && started; w++) {
    int ends[2];
    int said = memfd_create("wyn-check", MFD_CLOEXEC);
    if (said < 0 || pipe2(ends, O_CLOEXEC) != 0) {
      if (said >= 0) close(said);
      started = false;
      break;
    }
    pid_t pid = fork();
    if (pid == 0) {
      close(ends[0]);
      for (int v = 0; v < w; v++) close(workers[(size_t)v].pipe);
      if (dup2(said, 2) < 0) _exit(EXIT_ERROR);
      work(w, names, shared, ends[1], check_one);
    }
    close(ends[1]);
    workers[(size_t)w].said = said;
    workers[(size_t)w].pipe = ends[0];
    if (pid < 0) {
      started = false;
      break;
    }
    workers[(size_t)w].pid = pid;
  }
  // With no worker at all, this process checks them; with some, they
  // share the files.
  if (workers[0].pid < 0) {
    end_workers(&workers, false);
    shared->~Shared();
    munmap(map, sizeof(Shared));
    for (const std::string& name : names)
      if (!take(check_one(name))) return false;
    return true;
  }
  std::map<size_t, std::pair<int, Decoded>> ready;  // by index: worker, result
  size_t next = 0;
  bool go_on = true;
  std::vector<pollfd> fds;
  while (go_on) {
    // Hand on the results that are next in order.
    for (auto it = ready.find(next); go_on && it != ready.end(); it = ready.find(next)) {
      const Decoded& d = it->second.second;
      relay(workers[(size_t)it->second.first].said, d.said_from, d.said_to);
      go_on = take(d.result);
      ready.erase(it);
      next++;
    }
    if (!go_on || next == names.size()) break;
    fds.clear();
    for (const Worker& w : workers)
      if (w.pipe >= 0) fds.push_back({w.pipe, POLLIN, 0});
    if (fds.empty()) break;  // every worker ended: what is left was lost
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (const pollfd& fd : fds) {
      if (fd.revents == 0) continue;
      size_t w = 0;
      while (workers[w].pipe != fd.fd) w++;
      Worker& worker = workers[w];
      char buf[65536];
      ssize_t n = read(worker.pipe, buf, sizeof buf);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        close(worker.pipe);
        worker.pipe = -1;
        while (waitpid(worker.pid, &worker.status, 0) < 0 && errno == EINTR) {
        }
        worker.pid = -1;
        continue;
      }
      worker.got.append(buf, (size_t)n);
      Decoded d;
      while (decode(&worker.got, &d)) {
        ready.emplace(d.index, std::make_pair((int)w, std::move(d)));
        d = Decoded();
      }
    }
  }
  // A file no worker answered for: said, and taken as unreadable; the
  // results after it are still handed on.
  while (go_on && next < names.size()) {
    auto it = ready.find(next);
    if (it != ready.end()) {
      const Decoded& d = it->second.second;
      relay(workers[(size_t)it->second.first].said, d.said_from, d.said_to);
      go_on = take(d.result);
      ready.erase(it);
    } else {
      std::string shown = names[next] == "-" ? "stdin" : names[next];
      fprintf(stderr, "wyn: %s: not checked: %s\n", shown.c_str(),
              how_it_ended(workers, shared, next).c_str());
      CheckedFile lost;
      lost.status = CheckedFile::UNREADABLE;
      go_on = take(lost);
    }
    next++;
  }
  end_workers(&workers, !go_on);
  shared->~Shared();
  munmap(map, sizeof(Shared));
  return go_on;
}
