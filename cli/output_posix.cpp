// Safe writing on POSIX systems, the calls output.cpp asks for
// (output_os.h): stdout checked to the last byte, names followed to the
// device, pipe, file or descriptor of the tool's own they lead to, a
// temporary file that takes a file's owner, group, mode, ACLs and extended
// attributes and is renamed into place, no temporary file left behind by a
// signal, and deadly signals held back while a file is written where it
// stands.
#include "output_os.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdio_ext.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// The temporary file not yet renamed into place, for on_signal to remove.
// Written by make_temp, rename_temp and drop_temp with the signals below
// held back, so the handler never sees half a name; read by on_signal.
char pending[PATH_MAX + 64];
volatile sig_atomic_t has_pending = 0;

// Every signal that can be caught and whose default action ends the
// process, those that dump core too: whichever ends the tool, a temporary
// file goes first. The real-time signals are added at run time.
const int deadly_signals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

// The deadly signals as a set, made once.
const sigset_t& deadly_set(void) {
  static const sigset_t set = [] {
    sigset_t s;
    sigemptyset(&s);
    for (int sig : deadly_signals) sigaddset(&s, sig);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++) sigaddset(&s, sig);
    return s;
  }();
  return set;
}

// Removes the pending temporary file, then dies of the signal as if no
// handler were there: the status still tells which. Only
// async-signal-safe calls.
void on_signal(int sig) {
  if (has_pending) unlink(pending);
  signal(sig, SIG_DFL);
  raise(sig);
}

// Room for on_signal when the stack itself ran out (SIGSEGV).
alignas(16) char signal_stack[64 << 10];

// Closes a standard stream; false when something written to it was lost.
// A stream that was never open (EBADF) with nothing pending is no loss.
bool close_stream(FILE* stream, int* err) {
  bool pending_data = __fpending(stream) != 0;
  bool failed_before = ferror(stream) != 0;
  errno = 0;
  bool close_failed = fclose(stream) != 0;
  *err = close_failed ? errno : 0;
  return !(failed_before || (close_failed && (pending_data || *err != EBADF)));
}

void close_standard_streams(void) {
  int err = 0;
  if (!close_stream(stdout, &err)) stdout_failed(err);
  if (!close_stream(stderr, &err)) _exit(2);
}

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The tool's own file descriptor that path names, or -1.
int own_fd(const std::string& path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  std::string self = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                    std::string("/proc/thread-self/fd/"), self}) {
    if (path.compare(0, prefix.size(), prefix) != 0) continue;
    std::string digits = path.substr(prefix.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      return -1;
    return atoi(digits.c_str());
  }
  return -1;
}

// os_resolve but for the identity of what it finds.
bool follow(const char* path, OsTarget* t) {
  std::string p = path;
  for (int hops = 0; hops < 40; hops++) {
    t->path = p;
    int fd = own_fd(p);
    if (fd >= 0) {
      t->kind = TO_THROUGH;
      t->handle = fd;
      t->own = true;
      return fstat(fd, &t->st) == 0;
    }
    if (lstat(p.c_str(), &t->st) != 0) {
      t->kind = TO_NEW;
      return errno == ENOENT;
    }
    if (S_ISDIR(t->st.st_mode)) {
      errno = EISDIR;
      return false;
    }
    if (!S_ISLNK(t->st.st_mode)) {
      t->kind = S_ISREG(t->st.st_mode) ? TO_REGULAR : TO_THROUGH;
      return true;
    }
    char to[PATH_MAX];
    ssize_t n = readlink(p.c_str(), to, sizeof to - 1);
    if (n < 0) return false;
    to[n] = 0;
    if (to[0] == '/') {
      p = to;
    } else if (p.compare(0, 6, "/proc/") == 0 && strstr(to, ":[") != nullptr) {
      // Another process's pipe or socket: only the kernel can follow it.
      t->kind = TO_THROUGH;
      return stat(p.c_str(), &t->st) == 0;
    } else {
      p = folder_of(p) + "/" + to;
    }
  }
  errno = ELOOP;
  return false;
}

// The hidden temporary name beside target, to be filled in by mkostemp: a
// dot, as much of target's own name as fits the folder's longest name (cut
// before a UTF-8 character, not in it), ".wyn-XXXXXX".
std::string temp_name_for(const std::string& target) {
  static const char suffix[] = ".wyn-XXXXXX";
  std::string folder = folder_of(target), name = name_of(target);
  long most = pathconf(folder.c_str(), _PC_NAME_MAX);
  if (most <= 0) most = NAME_MAX;
  size_t fixed = 1 + strlen(suffix);  // the dot and the suffix
  size_t room = (size_t)most > fixed ? (size_t)most - fixed : 0;
  if (name.size() > room) {
    size_t cut = room;
    while (cut > 0 && ((unsigned char)name[cut] & 0xC0) == 0x80) cut--;
    name.resize(cut);
  }
  return folder + "/." + name + suffix;
}

}  // namespace

OsHandle os_make_temp(const OsPath& target, OsPath* temp) {
  *temp = temp_name_for(target);
  if (temp->size() >= sizeof pending) {
    errno = ENAMETOOLONG;
    return -1;
  }
  SignalsHeld held;
  int fd = mkostemp(&(*temp)[0], O_CLOEXEC);
  if (fd >= 0) {
    memcpy(pending, temp->c_str(), temp->size() + 1);
    has_pending = 1;
  }
  return fd;
}

void os_drop_temp(const OsPath& temp) {
  SignalsHeld held;
  int err = errno;
  unlink(temp.c_str());
  has_pending = 0;
  errno = err;
}

namespace {

bool rename_temp(const std::string& temp, const std::string& target, bool may_replace) {
  SignalsHeld held;
  int r = may_replace
              ? rename(temp.c_str(), target.c_str())
              : renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
  if (r != 0 && !may_replace && errno == EINVAL)  // a file system without the flag
    r = rename(temp.c_str(), target.c_str());
  if (r == 0) has_pending = 0;
  return r == 0;
}

// Makes the rename itself last; a folder that cannot be synced is no error.
void sync_folder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Gives fd every extended attribute of path (POSIX ACLs are some of them).
// False when one cannot be read or given.
bool copy_attributes(const std::string& path, int fd) {
  ssize_t n = listxattr(path.c_str(), nullptr, 0);
  if (n < 0) return errno == ENOTSUP;
  std::string names((size_t)n, '\0');
  n = listxattr(path.c_str(), &names[0], names.size());
  if (n < 0) return false;
  for (size_t at = 0; at < (size_t)n; at += strlen(&names[at]) + 1) {
    const char* name = &names[at];
    ssize_t size = getxattr(path.c_str(), name, nullptr, 0);
    if (size < 0) return false;
    std::string value((size_t)size, '\0');
    size = getxattr(path.c_str(), name, &value[0], value.size());
    if (size < 0 || fsetxattr(fd, name, value.data(), (size_t)size, 0) != 0) return false;
  }
  return true;
}

}  // namespace

bool os_resolve(const char* out, OsTarget* t) {
  if (!follow(out, t)) return false;
  if (t->kind != TO_NEW) {
    file_id_of(t->st, &t->id);
    t->links = (unsigned long)t->st.st_nlink;
  }
  return true;
}

bool os_open_through(OsTarget* t, OutputSink* sink) {
  if (t->own) {
    // Our own stdout or stderr: what is buffered there goes first.
    if (t->handle == 1) stdout_must_be_no_input();
    if (t->handle == 1 && fflush(stdout) != 0) stdout_failed(errno);
    if (t->handle == 2) fflush(stderr);
    sink->handle = t->handle;
    sink->own_handle = true;
    return true;
  }
  sink->handle = open(t->path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  return sink->handle >= 0;
}

// root may write anything, so a file without any write permission counts
// as read-only for root too.
std::string os_why_not_writable(const OsTarget& t) {
  const char* why = nullptr;
  if ((t.st.st_mode & 0222) == 0)
    why = "read-only file";
  else if (geteuid() != 0 && faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) != 0)
    why = errno == EROFS ? "on a read-only file system" : "not writable by you";
  if (why == nullptr) return "";
  char problem[96];
  snprintf(problem, sizeof problem, "%s (mode %04o)", why, (unsigned)(t.st.st_mode & 07777));
  return problem;
}

bool os_names_script(const OsPath& path) {
  size_t n = path.size();
  return n > 4 && path.compare(n - 4, 4, ".wyn") == 0;
}

std::string os_folder_shown(const OsPath& path) {
  return folder_of(path);
}

std::string os_name_shown(const OsPath& path) {
  return name_of(path);
}

bool os_temp_take_identity(OsHandle h, const OsTarget& t) {
  return fchown(h, t.st.st_uid, t.st.st_gid) == 0 && fchmod(h, t.st.st_mode & 07777) == 0 &&
         copy_attributes(t.path, h);
}

bool os_temp_new_mode(OsHandle h) {
  mode_t mask = umask(0);
  umask(mask);
  return fchmod(h, 0644 & ~mask) == 0;
}

bool os_path_is(const OsPath& path, const FileId& id) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && file_id_matches(id, st);
}

bool os_spool_place(OutputSink* sink) {
  if (!rename_temp(sink->temp, sink->target, sink->exists)) {
    int err = errno;
    os_drop_temp(sink->temp);
    return err == EEXIST ? changed_meanwhile(sink->shown.c_str())
                         : output_fail(sink->shown.c_str(), strerror(err));
  }
  sync_folder(folder_of(sink->target));
  return true;
}

bool os_write(OsHandle h, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(h, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;  // nothing taken and no reason given
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

SignalsHeld::SignalsHeld() {
  sigprocmask(SIG_BLOCK, &deadly_set(), &old_);
}

SignalsHeld::~SignalsHeld() {
  sigprocmask(SIG_SETMASK, &old_, nullptr);
}

OsHandle os_file_open(const OsPath& path) {
  return open(path.c_str(), O_RDWR | O_CLOEXEC);
}

bool os_file_is(OsHandle h, const FileId& id) {
  struct stat st;
  return fstat(h, &st) == 0 && file_id_matches(id, st);
}

long long os_file_read_at(OsHandle h, size_t offset, char* data, size_t size) {
  for (;;) {
    ssize_t n = pread(h, data, size, (off_t)offset);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool os_file_write_at(OsHandle h, size_t offset, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = pwrite(h, data + done, size - done, (off_t)(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;  // nothing taken and no reason given
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

bool os_file_reserve(OsHandle h, size_t old_size, size_t size) {
  int err = posix_fallocate(h, 0, (off_t)size);
  if (err == 0) return true;
  // What a reservation that failed may have added goes again.
  struct stat now;
  if (fstat(h, &now) == 0 && now.st_size != (off_t)old_size) ftruncate(h, (off_t)old_size);
  errno = err;
  return false;
}

bool os_file_resize(OsHandle h, size_t size) {
  return ftruncate(h, (off_t)size) == 0;
}

bool os_file_sync(OsHandle h) {
  return fsync(h) == 0;
}

bool os_file_close(OsHandle h) {
  return close(h) == 0;
}

void os_stdout_id(FileId* id) {
  struct stat st;
  if (fstat(1, &st) == 0) file_id_of(st, id);
}

[[noreturn]] void stdout_failed(int err) {
  // The reader went away: nobody is left to tell.
  if (err != EPIPE) fprintf(stderr, "wyn: stdout: %s\n", err ? strerror(err) : "write error");
  _exit(2);
}

void os_output_init(void) {
  atexit(close_standard_streams);
  // An alternate stack someone set up before (a sanitizer) stays theirs.
  stack_t alt = {};
  if (sigaltstack(nullptr, &alt) == 0 && (alt.ss_flags & SS_DISABLE)) {
    alt.ss_sp = signal_stack;
    alt.ss_size = sizeof signal_stack;
    alt.ss_flags = 0;
    sigaltstack(&alt, nullptr);
  }
  struct sigaction on = {};
  on.sa_handler = on_signal;
  on.sa_flags = SA_ONSTACK;
  sigemptyset(&on.sa_mask);
  const sigset_t& deadly = deadly_set();
  for (int sig = 1; sig <= SIGRTMAX; sig++) {
    struct sigaction old;
    // A signal ignored by whoever started us (nohup, SIGPIPE for a
    // checked EPIPE) stays ignored, and one already handled (a sanitizer's
    // report of a crash) stays with its handler.
    if (sigismember(&deadly, sig) == 1 && sigaction(sig, nullptr, &old) == 0 &&
        old.sa_handler == SIG_DFL && !(old.sa_flags & SA_SIGINFO))
      sigaction(sig, &on, nullptr);
  }
}

char** output_args(int* argc, char** argv) {
  (void)argc;
  return argv;
}
