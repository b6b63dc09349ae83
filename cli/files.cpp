// Reading scripts, keys scripts and configuration files from disk or stdin,
// whole and within the size limit, and finding the scripts below a folder.
#include "tool.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "display.h"
#include "encoding.h"
#include "files.h"

namespace {

void fail(const std::string& name, const std::string& problem) {
  fprintf(stderr, "wyn: %s: %s\n", name.c_str(), problem.c_str());
}

// Takes an input's bytes as they are read. A script's first bytes decide
// its form: a byte-order mark is left out of its text, and UTF-16 is kept
// aside to be decoded whole at the end. The text goes to a document, or to
// the Source's text when there is none.
struct Reading {
  Reading(Source* to, wyn::Document* into, bool is_script)
      : out(to), doc(into), script(is_script) {}
  Source* out;
  wyn::Document* doc;  // null: into out->text
  bool script;         // false: the bytes as they are (keys, configuration)
  bool guess = true;   // a script not UTF-8 gets its code page guessed
  bool decided = false;
  std::string head;  // the first bytes, until they decide the form
  std::string wide;  // UTF-16 as read
  Utf8Watch utf8;
};

// Text for the plug-in: a NUL byte means a binary file.
bool put_text(Reading* r, const char* data, size_t n) {
  if (memchr(data, 0, n) != nullptr) {
    errno = EILSEQ;
    return false;
  }
  if (r->script) r->utf8.feed(data, n);
  if (r->doc == nullptr) return take_into_string(&r->out->text, data, n);
  if (r->doc->append(data, n)) return true;
  errno = ENOMEM;
  return false;
}

bool pass_on(Reading* r, const char* data, size_t n) {
  if (!is_utf16(r->out->coding.form)) return put_text(r, data, n);
  r->wide.append(data, n);
  return true;
}

bool decide_form(Reading* r) {
  FileForm form = r->script ? form_of(r->head.data(), r->head.size()) : FileForm::BYTES;
  r->out->coding.form = form;
  r->decided = true;
  std::string head;
  head.swap(r->head);
  size_t skip = bom_length(form);
  return pass_on(r, head.data() + skip, head.size() - skip);
}

bool take_reading(void* taker, const char* data, size_t n) {
  Reading* r = (Reading*)taker;
  if (data == nullptr) return r->doc != nullptr || take_into_string(&r->out->text, nullptr, n);
  if (r->decided) return pass_on(r, data, n);
  r->head.append(data, n);
  return r->head.size() < 3 || decide_form(r);
}

// After the last piece: a short input decides its form now, UTF-16 is
// decoded, and bytes that are not UTF-8, with no --encoding, get the code
// page they are shown as. False, with errno or *problem, when what was
// read is no script.
bool finish_reading(Reading* r, std::string* problem) {
  if (!r->decided && !decide_form(r)) return false;
  FileCoding& coding = r->out->coding;
  if (is_utf16(coding.form)) {
    bool big = coding.form == FileForm::UTF16BE_BOM || coding.form == FileForm::UTF16BE;
    std::string text;
    if (!utf16_decode(r->wide, big, &text, problem)) return false;
    std::string().swap(r->wide);
    return put_text(r, text.data(), text.size());
  }
  if (!r->script || !r->guess || r->utf8.valid() || encoding_chosen() != nullptr) return true;
  CodePageGuess guess;
  if (r->doc == nullptr) {
    guess.feed(r->out->text.data(), r->out->text.size());
  } else {
    const size_t piece = (size_t)1 << 20;
    for (size_t at = 0; at < r->doc->size(); at += piece) {
      std::string text = r->doc->text(at, piece);
      guess.feed(text.data(), text.size());
    }
  }
  coding.guess = guess.result();
  coding.guessed = coding.guess != nullptr;
  if (!coding.guessed) coding.guess = display_encoding_of(false);
  return true;
}

// Reads path into out's text, or with doc into doc (out's text stays
// empty; doc is emptied first and holds what was read so far on failure).
// A script (script) has its form found and its text decoded as above.
bool read_any(const char* path, Source* out, wyn::Document* doc, bool script, bool guess = true) {
  bool from_stdin = !strcmp(path, "-");
  out->name = from_stdin ? "stdin" : path;
  out->text.clear();
  out->coding = FileCoding();
  int fd = from_stdin ? 0 : open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
#ifdef _WIN32
    // Windows opens no folder as a file: said as elsewhere.
    struct stat dir_st;
    if (errno == EACCES && stat(path, &dir_st) == 0 && S_ISDIR(dir_st.st_mode)) {
      fail(out->name, "is a directory");
      return false;
    }
#endif
    fail(out->name, strerror(errno));
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    fail(out->name, "is a directory");
    if (!from_stdin) close(fd);
    return false;
  }
  if (doc != nullptr) {
    if (!doc->set_text(std::string())) {
      fail(out->name, strerror(ENOMEM));
      if (!from_stdin) close(fd);
      return false;
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0 && (uintmax_t)st.st_size <= input_limit())
      doc->expect((size_t)st.st_size);
  }
  // NUL bytes are looked for in the text, once UTF-16 is decoded.
  Reading reading(out, doc, script);
  reading.guess = guess;
  std::string problem;
  bool ok = read_bounded(fd, false, &out->id, take_reading, &reading) &&
            finish_reading(&reading, &problem);
  int err = errno;
  output_note_input(out->name, out->id);
  if (!from_stdin) close(fd);
  if (ok) return true;
  if (!problem.empty())
    fail(out->name, problem);
  else if (err == EFBIG)
    fail(out->name, "larger than " + size_text(input_limit()) +
                        ", the size limit (--max-size raises it, up to " +
                        size_text(INPUT_LIMIT_MOST) + ")");
  else if (err == EILSEQ)
    fail(out->name, "binary file (holds a NUL byte), not a script");
  else
    fail(out->name, strerror(err));
  return false;
}

bool ends_with(const std::string& s, const char* tail) {
  size_t n = strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// How many folders deep a walk goes below an operand; a folder further
// down is named on stderr, not searched.
const int most_depth = 64;

// Every *.wyn below folder, each folder's entries in name order. Hidden
// entries (.git and the like) are passed over and linked folders not
// entered, so a link loop cannot trap the walk. False when a folder or an
// entry could not be read or a folder lies too deep (said on stderr); the
// walk goes on past it.
bool scripts_below(const std::string& folder, int depth, std::vector<std::string>* out) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    fprintf(stderr, "wyn: %s: %s\n", folder.c_str(), strerror(errno));
    return false;
  }
  bool ok = true;
  std::vector<std::string> names;
  while (struct dirent* e = readdir(dir))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = folder + (ends_with(folder, "/") ? "" : "/") + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) continue;  // gone since the folder was read
      fprintf(stderr, "wyn: %s: %s\n", path.c_str(), strerror(errno));
      ok = false;
    } else if (S_ISDIR(st.st_mode)) {
      if (depth >= most_depth) {
        fprintf(stderr, "wyn: %s: not searched: more than %d folders deep\n", path.c_str(),
                most_depth);
        ok = false;
      } else if (!scripts_below(path, depth + 1, out)) {
        ok = false;
      }
    } else if (wyn::is_script_name(name.c_str()) && stat(path.c_str(), &st) == 0 &&
               S_ISREG(st.st_mode)) {
      out->push_back(path);
    }
  }
  return ok;
}

}  // namespace

// The operands as files: with -R a folder stands for the scripts below it.
// False when a folder could not be read.
bool script_operands(const Options& opt, std::vector<std::string>* out) {
  bool ok = true;
  if (opt.args.empty()) out->push_back("-");
  for (const char* arg : opt.args) {
    struct stat st;
    if (opt.recurse && stat(arg, &st) == 0 && S_ISDIR(st.st_mode)) {
      if (!scripts_below(arg, 0, out)) ok = false;
    } else {
      out->push_back(arg);
    }
  }
  return ok;
}

bool read_source(const char* path, Source* out) {
  working_on(path);
  return read_any(path, out, nullptr, true);
}

bool read_source_into(const char* path, Source* out, wyn::Document* doc, bool guess) {
  working_on(path);
  return read_any(path, out, doc, true, guess);
}

bool read_script(const char* path, Source* out) {
  return read_any(path, out, nullptr, false);
}

void say_coding(const Source& file) {
  if (file.coding.guess == nullptr) return;
  fprintf(stderr, "wyn: %s: not UTF-8; read as %s (%s); use --encoding=NAME to choose\n",
          file.name.c_str(), file.coding.guess,
          file.coding.guessed ? "guessed" : "no guess: the default");
}

const std::string* write_form(const Source& file, const std::string& text, std::string* encoded) {
  if (file.coding.form == FileForm::BYTES) return &text;
  std::string problem;
  if (encode_form(file.coding.form, text, encoded, &problem)) return encoded;
  fail(file.name, "not written: " + problem);
  return nullptr;
}
