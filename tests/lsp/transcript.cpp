// Runs the language server as a client would, over pipes, on a transcript:
// the client's messages and the answers expected of the server, in the order
// of the conversation. Usage: wyn_lsp_transcript FILE SERVER [ARGS...]
//
// A transcript is read line by line:
//   # ...          a comment
//   --> JSON       a message the client sends, framed here with Content-Length
//                  ("jsonrpc":"2.0" is added when it is left out); text that
//                  is not JSON here (a lone surrogate, say) is sent as written
//   ==> TEXT       bytes sent as they are; \r \n \t \\ \" and \xHH are escapes
//   <-- JSON       the server sends a message that JSON matches; messages
//                  before it that do not match are passed over, except an
//                  answer with the same id, which fails the test at once
//   <-- no JSON    no message matching JSON comes between the expectation
//                  before and the one after (or the end)
//   <-- exit N     the server ends with status N (0 when not said)
// JSON may go on over the following lines, up to a blank line or the next
// marker. Matching is partial: every member given must be there and match;
// arrays match element by element and have the same length, except
// {"$contains": [A, B]}, which asks that some element match A, some B.
//
//   === NAME TEXT  before the server starts, a file NAME is written in its
//                  folder holding TEXT (escapes as for ==>); ${FOLDER} in
//                  any line stands for that folder's path
// Messages are sent up to the next expectation, which is then waited for;
// after the last line the server's input is closed and its output read to
// its end. Nothing waits on a clock: a server that hangs is stopped by the
// test runner's timeout. The server runs in an empty folder of its own.
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

struct Step {
  enum Kind { Send, Raw, Expect, Absent, Exit } kind;
  int line;          // where it starts in the transcript
  std::string text;  // JSON text, or the raw bytes once unescaped
  json value;        // the parsed JSON
  int status = 0;    // for Exit
};

const char* g_file = "";  // the transcript's name, for messages
std::string g_folder;     // the server's folder, removed at exit

void remove_folder() {
  std::error_code ignored;
  if (!g_folder.empty()) std::filesystem::remove_all(g_folder, ignored);
}

[[noreturn]] void fail(int line, const std::string& what) {
  fprintf(stderr, "%s:%d: %s\n", g_file, line, what.c_str());
  exit(1);
}

bool starts_with(const std::string& s, const char* prefix) {
  return s.compare(0, strlen(prefix), prefix) == 0;
}

bool unescape(const std::string& in, std::string* out) {
  for (size_t i = 0; i < in.size(); i++) {
    if (in[i] != '\\') {
      *out += in[i];
      continue;
    }
    if (++i == in.size()) return false;
    switch (in[i]) {
      case 'r':
        *out += '\r';
        break;
      case 'n':
        *out += '\n';
        break;
      case 't':
        *out += '\t';
        break;
      case '\\':
        *out += '\\';
        break;
      case '"':
        *out += '"';
        break;
      case 'x': {
        if (i + 2 >= in.size() || !isxdigit((unsigned char)in[i + 1]) ||
            !isxdigit((unsigned char)in[i + 2]))
          return false;
        *out += (char)strtol(in.substr(i + 1, 2).c_str(), nullptr, 16);
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

std::string framed_text(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::vector<Step> parse_transcript(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(0, "cannot be read");
  std::vector<Step> steps;
  std::string line;
  bool open = false;  // the last step's JSON may go on
  for (int n = 1; std::getline(in, line); n++) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (size_t at; (at = line.find("${FOLDER}")) != std::string::npos;)
      line.replace(at, 9, g_folder);
    if (starts_with(line, "=== ")) {
      size_t space = line.find(' ', 4);
      std::string text;
      if (space == std::string::npos || !unescape(line.substr(space + 1), &text))
        fail(n, "=== NAME TEXT");
      std::string name = line.substr(4, space - 4);
      std::filesystem::create_directories(
          std::filesystem::path(g_folder + "/" + name).parent_path());
      std::ofstream(g_folder + "/" + name, std::ios::binary) << text;
      open = false;
      continue;
    }
    if (line.empty() || line[0] == '#') {
      open = false;
      continue;
    }
    if (starts_with(line, "-->")) {
      steps.push_back({Step::Send, n, line.substr(3), {}});
    } else if (starts_with(line, "==>")) {
      Step s{Step::Raw, n, "", {}};
      std::string body = line.substr(3);
      if (!body.empty() && body[0] == ' ') body.erase(0, 1);
      if (!unescape(body, &s.text)) fail(n, "bad escape in raw bytes");
      steps.push_back(s);
      open = false;
      continue;
    } else if (starts_with(line, "<-- no ")) {
      steps.push_back({Step::Absent, n, line.substr(7), {}});
    } else if (starts_with(line, "<-- exit ")) {
      Step s{Step::Exit, n, "", {}};
      s.status = atoi(line.c_str() + 9);
      steps.push_back(s);
      open = false;
      continue;
    } else if (starts_with(line, "<--")) {
      steps.push_back({Step::Expect, n, line.substr(3), {}});
    } else if (open) {
      steps.back().text += "\n" + line;
      continue;
    } else {
      fail(n, "a line outside any message: " + line);
    }
    open = true;
  }
  for (Step& s : steps) {
    if (s.kind == Step::Raw || s.kind == Step::Exit) continue;
    s.value = json::parse(s.text, nullptr, false);
    if (s.value.is_discarded() && s.kind == Step::Send) {
      s.kind = Step::Raw;  // sent as written, framed
      s.text = framed_text(s.text);
      continue;
    }
    if (s.value.is_discarded()) fail(s.line, "not JSON: " + s.text);
    if (s.kind == Step::Send && s.value.is_object() && !s.value.contains("jsonrpc"))
      s.value["jsonrpc"] = "2.0";
  }
  return steps;
}

// Whether actual has everything expected has; *why says where not.
bool matches(const json& expected, const json& actual, const std::string& where, std::string* why) {
  if (expected.is_object() && expected.size() == 1 && expected.contains("$contains")) {
    if (!actual.is_array()) return *why = where + " is not an array", false;
    for (const json& want : expected["$contains"]) {
      bool found = false;
      std::string ignored;
      for (const json& have : actual)
        if (matches(want, have, where, &ignored)) found = true;
      if (!found) return *why = where + " has no element matching " + want.dump(), false;
    }
    return true;
  }
  if (expected.is_object()) {
    if (!actual.is_object()) return *why = where + " is not an object", false;
    for (auto& [key, want] : expected.items()) {
      if (!actual.contains(key)) return *why = where + "." + key + " is missing", false;
      if (!matches(want, actual[key], where + "." + key, why)) return false;
    }
    return true;
  }
  if (expected.is_array()) {
    if (!actual.is_array() || actual.size() != expected.size())
      return *why = where + " is not an array of " + std::to_string(expected.size()), false;
    for (size_t i = 0; i < expected.size(); i++)
      if (!matches(expected[i], actual[i], where + "[" + std::to_string(i) + "]", why))
        return false;
    return true;
  }
  if (expected != actual) return *why = where + " differs", false;
  return true;
}

bool is_answer_to(const json& m, const json& expected) {
  return m.is_object() && expected.is_object() && expected.contains("id") && m.contains("id") &&
         !m.contains("method") && m["id"] == expected["id"];
}

// The server as a child over two pipes; its stderr is ours.
class Server {
 public:
  Server(char** argv, const std::string& cwd) {
    int in[2], out[2];
    if (pipe(in) || pipe(out)) fail(0, "no pipes");
    pid_ = fork();
    if (pid_ < 0) fail(0, "cannot start the server");
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[0]), close(in[1]), close(out[0]), close(out[1]);
      if (chdir(cwd.c_str()) == 0) execvp(argv[0], argv);
      perror(argv[0]);
      _exit(127);
    }
    close(in[0]), close(out[1]);
    to_ = in[1];
    from_ = out[0];
    fcntl(to_, F_SETFL, fcntl(to_, F_GETFL) | O_NONBLOCK);
  }

  void send(const std::string& bytes) { pending_ += bytes; }

  // Writes what is pending, reading meanwhile so that neither side blocks.
  void flush() {
    while (!pending_.empty() && to_ >= 0) pump();
  }

  void close_input() {
    flush();
    if (to_ >= 0) close(to_);
    to_ = -1;
  }

  // The next whole message; false once the output has ended.
  bool next(json* message, int line) {
    for (;;) {
      size_t header_end = read_.find("\r\n\r\n");
      if (header_end != std::string::npos) {
        size_t length = content_length(read_.substr(0, header_end), line);
        size_t start = header_end + 4;
        if (read_.size() - start >= length) {
          std::string body = read_.substr(start, length);
          read_.erase(0, start + length);
          *message = json::parse(body, nullptr, false);
          if (message->is_discarded())
            fail(line, "the server sent a body that is not JSON: " + body);
          return true;
        }
      } else if (read_.size() > 8192) {
        fail(line, "the server sent no header end in 8 KiB: " + read_.substr(0, 200));
      }
      if (from_ < 0) {
        if (!read_.empty()) fail(line, "the server's output ends inside a message: " + read_);
        return false;
      }
      pump();
    }
  }

  int wait() {
    close_input();
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
  }

 private:
  static size_t content_length(const std::string& headers, int line) {
    std::istringstream in(headers);
    std::string h;
    long long length = -1;
    while (std::getline(in, h)) {
      if (!h.empty() && h.back() == '\r') h.pop_back();
      if (starts_with(h, "Content-Length: ")) length = atoll(h.c_str() + 16);
    }
    if (length < 0) fail(line, "the server sent a header without Content-Length: " + headers);
    return (size_t)length;
  }

  // One wait for either pipe, and what can be done on it.
  void pump() {
    pollfd fds[2] = {{from_, POLLIN, 0}, {pending_.empty() ? -1 : to_, POLLOUT, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) return;
      fail(0, "poll failed");
    }
    if (fds[0].revents) {
      char buf[65536];
      ssize_t n = read(from_, buf, sizeof buf);
      if (n > 0) read_.append(buf, (size_t)n);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        close(from_);
        from_ = -1;
      }
    }
    if (fds[1].revents) {
      ssize_t n = write(to_, pending_.data(), pending_.size());
      if (n > 0) pending_.erase(0, (size_t)n);
      // The server stopped reading: what is left cannot be delivered, and
      // what it answered so far is what the expectations judge.
      if (n < 0 && errno != EINTR && errno != EAGAIN) {
        pending_.clear();
        close(to_);
        to_ = -1;
      }
    }
  }

  pid_t pid_;
  int to_, from_;
  std::string pending_;  // bytes for the server not yet written
  std::string read_;     // bytes from the server not yet made messages
};

std::string listing(const std::vector<json>& seen) {
  if (seen.empty()) return "  (none)\n";
  std::string s;
  for (const json& m : seen) s += "  " + m.dump() + "\n";
  return s;
}

// Fails if a message seen matches an expectation that it must not.
void check_absent(const std::vector<const Step*>& absent, const json& message) {
  std::string why;
  for (const Step* a : absent)
    if (matches(a->value, message, "message", &why))
      fail(a->line, "expected no message matching\n  " + a->value.dump() +
                        "\nbut the server sent\n  " + message.dump());
}

int run(const std::vector<Step>& steps, char** server_argv, const std::string& cwd) {
  Server server(server_argv, cwd);
  std::vector<const Step*> absent;  // not to be seen before the next match
  int status = 0;
  int status_line = 0;
  for (const Step& s : steps) {
    switch (s.kind) {
      case Step::Send:
        server.send(framed_text(s.value.dump()));
        break;
      case Step::Raw:
        server.send(s.text);
        break;
      case Step::Absent:
        absent.push_back(&s);
        break;
      case Step::Exit:
        status = s.status;
        status_line = s.line;
        break;
      case Step::Expect: {
        server.flush();
        std::vector<json> seen;
        json m;
        std::string why = "no message";
        for (;;) {
          if (!server.next(&m, s.line))
            fail(s.line, "expected a message matching\n  " + s.value.dump() +
                             "\nbut the server's output ended; it sent\n" + listing(seen) +
                             "closest: " + why);
          check_absent(absent, m);
          std::string this_why;
          if (matches(s.value, m, "message", &this_why)) break;
          if (is_answer_to(m, s.value))
            fail(s.line, "expected\n  " + s.value.dump() + "\nbut the answer was\n  " + m.dump() +
                             "\n(" + this_why + ")");
          seen.push_back(m);
          why = this_why;
        }
        absent.clear();
        break;
      }
    }
  }
  server.close_input();
  json m;
  while (server.next(&m, steps.empty() ? 0 : steps.back().line)) check_absent(absent, m);
  int got = server.wait();
  if (got != status)
    fail(status_line,
         "the server ended with status " + std::to_string(got) + ", not " + std::to_string(status));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s TRANSCRIPT SERVER [ARGS...]\n", argv[0]);
    return 2;
  }
  g_file = argv[1];
  signal(SIGPIPE, SIG_IGN);
  // The server's own folder, empty but for the files the transcript
  // writes, so that nothing it might look for around it is found and
  // nothing outside it is touched.
  std::string base = (std::filesystem::temp_directory_path() / "wyn-transcript-XXXXXX").string();
  if (!mkdtemp(base.data())) fail(0, "no temporary folder");
  g_folder = base;
  atexit(remove_folder);
  std::vector<Step> steps = parse_transcript(argv[1]);
  // The server starts in that folder: a path to it relative to here would
  // no longer lead to it.
  std::string server = argv[2];
  if (server.find('/') != std::string::npos) server = std::filesystem::absolute(server).string();
  argv[2] = server.data();
  return run(steps, argv + 2, base);
}
