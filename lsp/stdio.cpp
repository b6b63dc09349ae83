// The server over the process's stdin and stdout: nothing but protocol
// messages on stdout, the server's own diagnostics on stderr. When the
// client has been quiet for a short while the deferred whole-buffer checks
// run; between messages, the workspace index's walk goes on a step at a
// time.
#include <ctype.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#endif

#include "between.h"
#include "server.h"
#include "transport.h"

namespace wyn::lsp {

namespace {

bool write_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

#ifdef _WIN32
// Windows cannot wait on every kind of standard input with a timeout (a
// socket handed over as a pipe, a file), so a thread reads it ahead, at
// most kAheadBytes, and the loop waits on what that thread has.
const size_t kAheadBytes = 1 << 20;

struct Ahead {
  CRITICAL_SECTION lock;
  CONDITION_VARIABLE changed;  // bytes came, the input ended, or room was made
  std::string bytes;           // read and not yet taken
  bool ended = false;
  bool started = false;
} ahead;  // written by the reading thread and read_some, under lock

DWORD WINAPI read_ahead(void*) {
  static char chunk[1 << 16];
  for (;;) {
    int n = _read(0, chunk, sizeof chunk);
    EnterCriticalSection(&ahead.lock);
    while (n > 0 && ahead.bytes.size() >= kAheadBytes)
      SleepConditionVariableCS(&ahead.changed, &ahead.lock, INFINITE);
    if (n > 0)
      ahead.bytes.append(chunk, (size_t)n);
    else
      ahead.ended = true;
    WakeAllConditionVariable(&ahead.changed);
    LeaveCriticalSection(&ahead.lock);
    if (n <= 0) return 0;
  }
}

void start_reading(void) {
  if (ahead.started) return;
  ahead.started = true;
  InitializeCriticalSection(&ahead.lock);
  InitializeConditionVariable(&ahead.changed);
  HANDLE thread = CreateThread(nullptr, 0, read_ahead, nullptr, 0, nullptr);
  if (thread == nullptr) {
    ahead.ended = true;
    return;
  }
  CloseHandle(thread);
}

size_t read_some(char* buf, size_t n) {
  start_reading();
  EnterCriticalSection(&ahead.lock);
  while (ahead.bytes.empty() && !ahead.ended)
    SleepConditionVariableCS(&ahead.changed, &ahead.lock, INFINITE);
  size_t k = ahead.bytes.size() < n ? ahead.bytes.size() : n;
  memcpy(buf, ahead.bytes.data(), k);
  ahead.bytes.erase(0, k);
  WakeAllConditionVariable(&ahead.changed);
  LeaveCriticalSection(&ahead.lock);
  return k;
}

// True when stdin has bytes (or its end) within ms.
bool readable_within(int ms) {
  start_reading();
  EnterCriticalSection(&ahead.lock);
  if (ahead.bytes.empty() && !ahead.ended)
    SleepConditionVariableCS(&ahead.changed, &ahead.lock, (DWORD)ms);
  bool ready = !ahead.bytes.empty() || ahead.ended;
  LeaveCriticalSection(&ahead.lock);
  return ready;
}
#elif defined(__EMSCRIPTEN__)
// WebAssembly under Node: no poll waits for input with a timeout, so the
// launcher reads it ahead on a thread of its own (platform/wasm).
size_t read_some(char* buf, size_t n) {
  int k = wyn_stdin_read(buf, n > 65536 ? 65536 : (int)n);
  return k > 0 ? (size_t)k : 0;
}

bool readable_within(int ms) {
  return wyn_stdin_wait(ms) != 0;
}
#else
size_t read_some(char* buf, size_t n) {
  for (;;) {
    ssize_t k = ::read(0, buf, n);
    if (k < 0 && errno == EINTR) continue;
    return k > 0 ? (size_t)k : 0;
  }
}

// True when stdin has bytes (or its end) within ms.
bool readable_within(int ms) {
  struct pollfd p = {0, POLLIN, 0};
  for (;;) {
    int n = poll(&p, 1, ms);
    if (n < 0 && errno == EINTR) continue;
    return n != 0;
  }
}
#endif

// What the start of standard input held, kept while no message has come,
// to tell someone who ran the server by hand (or fed it a file) why it
// ended without an answer.
class FirstBytes {
 public:
  void note(const char* p, size_t n) {
    if (n == 0 || framed_) return;
    if (start_.size() < kKept)
      start_.append(p, n < kKept - start_.size() ? n : kKept - start_.size());
    // The header's name may be cut between reads: the tail stays.
    tail_.append(p, n);
    for (char& c : tail_) c = (char)tolower((unsigned char)c);
    framed_ = tail_.find("content-length") != std::string::npos;
    if (tail_.size() > 16) tail_.erase(0, tail_.size() - 16);
  }
  // Once bytes were read and none of them looked like a header, one line
  // on stderr: what was read and what was expected.
  void tell_if_not_protocol() const {
    if (framed_ || start_.empty()) return;
    std::string shown;
    for (unsigned char c : start_) {
      if (c == '\n')
        shown += "\\n";
      else if (c == '"' || c == '\\')
        shown += std::string("\\") + (char)c;
      else if (c < 0x20 || c >= 0x7f) {
        char hex[8];
        snprintf(hex, sizeof hex, "\\x%02x", c);
        shown += hex;
      } else
        shown += (char)c;
    }
    fprintf(stderr,
            "wyn lsp: standard input is not the language server protocol (read \"%s\"%s, "
            "expected a Content-Length header); start it from an editor\n",
            shown.c_str(), start_.size() == kKept ? "..." : "");
  }

 private:
  static const size_t kKept = 24;
  std::string start_, tail_;
  bool framed_ = false;
};

}  // namespace

int run_stdio(const ServerOptions& options) {
#ifdef _WIN32
  // Frames are counted in bytes: no CR may be added or taken away.
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
#else
  signal(SIGPIPE, SIG_IGN);  // a client gone shows as a failed write
#endif
  bool out_ok = true;
  Server server(
      [&out_ok](const std::string& body) {
        if (out_ok && !write_all(1, frame(body))) {
          out_ok = false;
          fprintf(stderr, "wyn lsp: the client stopped reading\n");
        }
      },
      options);
  FirstBytes first;
  FrameReader reader([&first](char* buf, size_t n) {
    size_t k = read_some(buf, n);
    first.note(buf, k);
    return k;
  });
  while (!server.exited() && out_ok) {
    int quiet = quiet_needed(server);
    if (!reader.has_buffered() && quiet >= 0 && !readable_within(quiet)) {
      work_between(server);
      continue;
    }
    std::string body, problem;
    ReadStatus status = reader.next(&body, &problem);
    if (status == ReadStatus::End) {
      if (!server.exited()) first.tell_if_not_protocol();
      break;
    }
    if (status == ReadStatus::Message) {
      server.handle(body);
    } else {
      fprintf(stderr, "wyn lsp: %s\n", problem.c_str());
      if (status != ReadStatus::Skipped)
        server.framing_error(status == ReadStatus::TooLarge ? INVALID_REQUEST : PARSE_ERROR,
                             problem, body);
    }
  }
  return server.exit_code();  // 0 only after shutdown, whether exit or the end of input came next
}

int lsp_main(int argc, char** argv) {
  ServerOptions options;
  for (int i = 1; i < argc; i++) {
    if (!strcmp(argv[i], "--stdio")) continue;  // what clients pass; stdio is all there is
    fprintf(stderr, "wyn lsp: unknown argument %s (see wyn lsp --help)\n", argv[i]);
    return 2;
  }
  return run_stdio(options);
}

}  // namespace wyn::lsp
