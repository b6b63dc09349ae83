// wyn check FILE|DIR...: the problems the session's checker finds in each
// script, one a line as compilers print them ("file:line:col: severity:
// message", line and column from 1, the column in bytes) so that editors'
// error lists read them, or as one JSON array.
#include "check_workers.h"
#include "encoding.h"
#include "tool.h"

#include <stdio.h>

#include <algorithm>

#include "diagnostics.h"
#include "includes.h"

namespace {

const char* severity_name(wyn::Diagnostic::Severity s) {
  return s == wyn::Diagnostic::ERROR ? "error" : "warning";
}

// s as a JSON string. A file's name may hold any bytes: one that is not
// part of a UTF-8 character becomes U+FFFD, so the output is always JSON.
std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    unsigned char c = (unsigned char)s[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += (char)c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      char esc[8];
      snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else if (c >= 0x80) {
      size_t n = utf8_sequence_length((const unsigned char*)s.data() + i, s.size() - i);
      if (n == 0) {
        out += "\\ufffd";
        i++;
      } else {
        out.append(s, i, n);
        i += n;
      }
      continue;
    } else {
      out += (char)c;
    }
    i++;
  }
  return out + "\"";
}

std::string json_item(const std::string& file, const wyn::Document& doc, const wyn::Diagnostic& d) {
  std::string out = "{\"file\":" + json_string(file) + ",\"line\":" + std::to_string(d.line) +
                    ",\"column\":" + std::to_string(d.col + 1) +
                    ",\"endLine\":" + std::to_string(d.end_line) +
                    ",\"endColumn\":" + std::to_string(d.end_col + 1) + ",\"severity\":\"" +
                    severity_name(d.severity) + "\",\"message\":" + json_string(d.message);
  if (d.has_fix) {
    long line = doc.line_of((long)d.fix_at);
    long col = (long)d.fix_at - doc.line_start(line);
    out += ",\"fix\":{\"line\":" + std::to_string(line) + ",\"column\":" + std::to_string(col + 1) +
           ",\"insert\":" + json_string(d.fix_text) + "}";
  }
  return out + "}";
}

// Checks one file and formats its problems, text or JSON items.
CheckedFile check_file(const Options& opt, const std::string& name, wyn::FolderListings* listings) {
  CheckedFile result;
  Source file;
  wyn::Document doc;
  // Nothing of the text is shown but names and words in the problems,
  // as bytes: no code page is wanted.
  if (!read_source_into(name.c_str(), &file, &doc, false)) {
    result.status = CheckedFile::UNREADABLE;
    return result;
  }
  working_on(name.c_str());
  result.status = CheckedFile::FATAL;
  if (!session_for(opt, name.c_str())) return result;
  std::vector<wyn::Diagnostic> found;
  std::string error;
  // The text and its colours copied out once for both the checker and
  // the includes.
  if (!reported(doc.colour_whole(&error), error)) return result;
  const std::string text = doc.text();
  const std::vector<signed char> cats = doc.categories();
  if (!reported(wyn::check_coloured(doc, text, cats, plugin().words(1), &found, &error), error))
    return result;
  result.status = CheckedFile::CHECKED;
  // Includes are only ever warned about: the author's machine may have
  // had include folders this run does not know.
  wyn::Document scratch;
  std::vector<wyn::Diagnostic> includes =
      wyn::check_includes(file.name, text, cats, include_dirs_for(opt, name.c_str()),
                          wyn::coloured_reader(scratch, input_limit()), listings);
  found.insert(found.end(), includes.begin(), includes.end());
  std::stable_sort(
      found.begin(), found.end(),
      [](const wyn::Diagnostic& a, const wyn::Diagnostic& b) { return a.from < b.from; });
  for (const wyn::Diagnostic& d : found) {
    result.found_error = result.found_error || d.severity == wyn::Diagnostic::ERROR;
    if (opt.json)
      result.items.push_back(json_item(file.name, doc, d));
    else
      result.items.push_back(file.name + ":" + std::to_string(d.line) + ":" +
                             std::to_string(d.col + 1) + ": " + severity_name(d.severity) + ": " +
                             d.message + "\n");
  }
  return result;
}

}  // namespace

int cmd_check(const Options& opt) {
  // Each file is checked and printed before the next is read, so only one
  // text is held at a time (a few with workers, one each). A file that
  // cannot be read is reported and the others still checked; the run then
  // exits 2.
  std::vector<std::string> names;
  bool files_ok = script_operands(opt, &names);
  bool found_error = false;
  bool first = true;
  if (opt.json) out_text("[");
  // A run is short: each folder an include is looked for in is listed
  // once.
  wyn::FolderListings listings;
  auto check_one = [&](const std::string& name) { return check_file(opt, name, &listings); };
  auto take = [&](const CheckedFile& r) {
    if (r.status == CheckedFile::FATAL) return false;
    if (r.status == CheckedFile::UNREADABLE) files_ok = false;
    found_error = found_error || r.found_error;
    for (const std::string& item : r.items) {
      if (opt.json) {
        out_text((first ? "\n" : ",\n") + item);
        first = false;
      } else {
        out_text(item);
      }
    }
    return true;
  };
  int processes = check_processes(opt, names);
  if (processes > 1) {
    if (!check_in_workers(names, processes, check_one, take)) return EXIT_ERROR;
  } else {
    for (const std::string& name : names)
      if (!take(check_one(name))) return EXIT_ERROR;
  }
  if (opt.json) out_text(first ? "]\n" : "\n]\n");
  if (!files_ok) return EXIT_ERROR;
  return found_error ? EXIT_NOTHING : EXIT_DONE;
}
