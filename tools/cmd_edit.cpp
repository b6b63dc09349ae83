// wyn expand, wyn indent, wyn edit: the editing aids at work on a file,
// with the touched lines re-coloured after every edit as the editor does.
#include "tool.h"

#include <string.h>

namespace {

bool is_word_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '#';
}

// The editor's side of the expansion key: the plug-in expects the cursor on
// the word's first character, so step back over the word the cursor is in
// or has just passed. The cursor returns where it was when nothing expands.
cw_long expand_at_cursor(void) {
  size_t n = 0;
  const char* text = cw_text(&n);
  cw_long at = cw_cursor();
  cw_long start = at;
  while (start > 0 && is_word_char(text[start - 1])) start--;
  cw_set_cursor(start);
  cw_long done = 0;
  if (!plugin_call0("_wyn_expand", &done)) return -1;
  if (!done) cw_set_cursor(at);
  return done;
}

// Enter: the plug-in's smart indent first; when it declines, the editor
// starts the new line itself.
bool enter(void) {
  cw_long done = 0;
  if (!plugin_call0("_wyn_indent", &done)) return false;
  if (!done) InsertNewLine();
  return true;
}

// After an edit made with the cursor at cursor_before: from the cursor's
// line (a line break typed at a line's end leaves that line's text as it
// was) to the last line that differs from before, handed to the plug-in's
// range re-colouring. With trace, says which lines the editor was then
// asked to redisplay.
void recolour(const std::string& before, cw_long cursor_before, const char* where,
              const std::string& what, bool trace) {
  size_t n = 0;
  const char* after = cw_text(&n);
  size_t common = n < before.size() ? n : before.size();
  size_t head = 0;
  while (head < common && after[head] == before[head]) head++;
  size_t tail = 0;
  while (tail < common - head && after[n - 1 - tail] == before[before.size() - 1 - tail]) tail++;
  if (head == n && n == before.size()) return;  // nothing changed
  cw_long first = cw_line_of((cw_long)head);
  if (cursor_before < (cw_long)head) first = cw_line_of(cursor_before);
  cw_long last = cw_line_of((cw_long)(n - tail));
  std::string a = std::to_string(first), b = std::to_string(last);
  const char* argv[] = {a.c_str(), b.c_str()};
  if (trace) {
    cw_log_clear();
    cw_log_enable(1);
  }
  plugin_call("_wyn_language_colors_update", 2, argv, nullptr);
  cw_clear_runs();
  if (!trace) return;
  cw_log_enable(0);
  long from = 0, to = 0;
  for (size_t i = 0; i < cw_log_count(); i++)
    sscanf(cw_log_at(i), "LineRange(%ld, %ld)", &from, &to);
  fprintf(stderr, "%s: %s: _wyn_language_colors_update(%s, %s), redisplay lines %ld-%ld\n", where,
          what.c_str(), a.c_str(), b.c_str(), from, to);
  cw_log_clear();
}

// How a typed character reads in a trace line.
std::string shown_char(char c) {
  if (c == '\n') return "Enter";
  if (c == '\t') return "type '\\t'";
  if (c == '\r') return "type '\\r'";
  return std::string("type '") + c + "'";
}

// Runs one action of the keys script; false when it cannot (a position
// outside the buffer).
bool run_action(const KeyAction& act, const Source& script, const Source& file, bool trace) {
  std::string where = script.name + ":" + std::to_string(act.script_line);
  cw_long cursor = cw_cursor();
  cw_long line = cw_line_of(cursor);
  cw_long col = cursor - cw_line_start(line) + 1;
  switch (act.op) {
    case KEY_TYPE:
      for (size_t i = 0; i < act.text.size(); i++) {
        std::string before = buffer_text();
        cw_long cursor_at = cw_cursor();
        char c = act.text[i];
        if (c == '\n') {
          if (!enter()) return false;
        } else {
          InsertChar((cw_long)(unsigned char)c);
        }
        recolour(before, cursor_at, where.c_str(), shown_char(c), trace);
      }
      return true;
    case KEY_NEWLINE:
      for (long i = 0; i < act.count; i++) {
        std::string before = buffer_text();
        cw_long cursor_at = cw_cursor();
        if (!enter()) return false;
        recolour(before, cursor_at, where.c_str(), "Enter", trace);
      }
      return true;
    case KEY_EXPAND:
    case KEY_INDENT: {
      std::string before = buffer_text();
      cw_long cursor_at = cw_cursor();
      cw_long done = 0;
      if (act.op == KEY_EXPAND)
        done = expand_at_cursor();
      else if (!plugin_call0("_wyn_indent", &done))
        done = -1;
      if (done < 0) return false;
      const char* name = act.op == KEY_EXPAND ? "expand" : "indent";
      if (done)
        recolour(before, cursor_at, where.c_str(), name, trace);
      else if (trace)
        fprintf(stderr, "%s: %s: the plug-in did nothing\n", where.c_str(), name);
      return true;
    }
    case KEY_GOTO: {
      cw_long pos = position_in_buffer(act.line, act.col);
      if (pos < 0) {
        fprintf(stderr, "%s: goto %ld:%ld lies outside %s (%ld lines)\n", where.c_str(),
                (long)act.line, (long)act.col, file.name.c_str(), (long)cw_line_count());
        return false;
      }
      cw_set_cursor(pos);
      return true;
    }
    case KEY_LEFT:
      cw_set_cursor(cursor - (cw_long)(act.count < cursor ? act.count : cursor));
      return true;
    case KEY_RIGHT:
      cw_set_cursor(cursor + (cw_long)act.count);  // the editor clamps it
      return true;
    case KEY_UP:
    case KEY_DOWN: {
      long to = act.op == KEY_UP ? line - act.count : line + act.count;
      if (to < 1) to = 1;
      if (to > cw_line_count()) to = cw_line_count();
      cw_long len = line_length((cw_long)to);
      cw_set_cursor(cw_line_start((cw_long)to) + (col - 1 < len ? col - 1 : len));
      return true;
    }
    case KEY_HOME:
      cw_set_cursor(cw_line_start(line));
      return true;
    case KEY_END:
      cw_set_cursor(cw_line_start(line) + line_length(line));
      return true;
  }
  return false;
}

// Colours the final text afresh and names the lines whose colours differ
// from what the re-colouring after each edit left. Replaces the buffer's
// colours, so it comes after the result is shown.
void check_against_whole(const Source& file) {
  std::vector<signed char> replayed, whole;
  buffer_categories(&replayed);
  buffer_load(buffer_text());
  colour_whole_buffer();
  buffer_categories(&whole);
  std::string lines;
  long run_first = 0, run_last = 0, stale = 0;
  for (cw_long line = 1; line <= cw_line_count() + 1; line++) {
    bool differs = false;
    if (line <= cw_line_count()) {
      size_t start = (size_t)cw_line_start(line);
      size_t end = line < cw_line_count() ? (size_t)cw_line_start(line + 1) : whole.size();
      for (size_t i = start; i < end && !differs; i++) differs = replayed[i] != whole[i];
    }
    if (differs) {
      if (run_first == 0) run_first = line;
      run_last = line;
      stale++;
      continue;
    }
    if (run_first == 0) continue;
    if (!lines.empty()) lines += ", ";
    lines += std::to_string(run_first);
    if (run_last != run_first) lines += "-" + std::to_string(run_last);
    run_first = 0;
  }
  if (stale == 0)
    fprintf(stderr, "wyn: %s: check: the colours match a whole-buffer colouring\n",
            file.name.c_str());
  else
    fprintf(stderr, "wyn: %s: check: %ld line(s) differ from a whole-buffer colouring: %s\n",
            file.name.c_str(), stale, lines.c_str());
}

// expand and indent share everything but the action.
int one_action(const Options& opt, const char* verb) {
  if (opt.args.size() != 2) {
    fprintf(stderr, "wyn: %s needs FILE LINE:COL\n", verb);
    return EXIT_ERROR;
  }
  cw_long line = 0, col = 0;
  if (!parse_position(opt.args[1], &line, &col)) {
    fprintf(stderr, "wyn: bad position '%s': expected LINE:COL, both from 1\n", opt.args[1]);
    return EXIT_ERROR;
  }
  Source file;
  if (!read_source(opt.args[0], &file) || !session_open(opt)) return EXIT_ERROR;
  buffer_load(file.text);
  cw_long pos = position_in_buffer(line, col);
  if (pos < 0) {
    fprintf(stderr, "wyn: %s: position %ld:%ld lies outside the buffer (%ld lines)\n",
            file.name.c_str(), (long)line, (long)col, (long)cw_line_count());
    return EXIT_ERROR;
  }
  colour_whole_buffer();
  cw_set_cursor(pos);
  std::string before = buffer_text();
  cw_long cursor_at = cw_cursor();
  cw_long done = 0;
  if (!strcmp(verb, "expand"))
    done = expand_at_cursor();
  else if (!plugin_call0("_wyn_indent", &done))
    done = -1;
  if (done < 0) return EXIT_ERROR;
  if (!done) {
    fprintf(stderr, "wyn: %s:%ld:%ld: the plug-in did not %s here\n", file.name.c_str(), (long)line,
            (long)col, verb);
    return EXIT_NOTHING;
  }
  recolour(before, cursor_at, file.name.c_str(), verb, false);
  return show_result(opt, file, true);
}

}  // namespace

int show_result(const Options& opt, const Source& file, bool coloured) {
  std::string text = buffer_text();
  if (opt.in_place && !write_file_atomic(file.name.c_str(), text)) return EXIT_ERROR;
  if (opt.html != nullptr) {
    std::vector<signed char> cats;
    buffer_categories(&cats);
    std::string page;
    html_begin(&page, file.name.c_str());
    html_section(&page, file.name, text, cats);
    html_end(&page);
    if (!strcmp(opt.html, "-"))
      fwrite(page.data(), 1, page.size(), stdout);
    else if (!write_file_atomic(opt.html, page))
      return EXIT_ERROR;
  }
  if (opt.in_place || opt.html != nullptr) return EXIT_DONE;
  std::string out;
  if (coloured && use_colour(opt.colour)) {
    std::vector<signed char> cats;
    buffer_categories(&cats);
    render_ansi(text, cats, &out);
  } else {
    out = text;
  }
  fwrite(out.data(), 1, out.size(), stdout);
  if (fflush(stdout) != 0) {
    fprintf(stderr, "wyn: stdout: write error\n");
    return EXIT_ERROR;
  }
  return EXIT_DONE;
}

int cmd_expand(const Options& opt) {
  return one_action(opt, "expand");
}

int cmd_indent(const Options& opt) {
  return one_action(opt, "indent");
}

int cmd_edit(const Options& opt) {
  if (opt.args.size() != 1) {
    fprintf(stderr, "wyn: edit needs exactly one FILE\n");
    return EXIT_ERROR;
  }
  if ((opt.keys == nullptr) == (opt.keys_text == nullptr)) {
    fprintf(stderr, "wyn: edit takes one keys script: --keys SCRIPT or -e ACTIONS\n");
    return EXIT_ERROR;
  }
  Source script;
  if (opt.keys != nullptr) {
    if (!read_script(opt.keys, &script)) return EXIT_ERROR;
  } else {
    script.name = "-e";
    script.text = opt.keys_text;
  }
  std::vector<KeyAction> actions;
  if (!keys_parse(script, &actions)) return EXIT_ERROR;
  Source file;
  if (!read_source(opt.args[0], &file) || !session_open(opt)) return EXIT_ERROR;
  cw_set_state_flag((cw_long)opt.state_flag);
  buffer_load(file.text);
  colour_whole_buffer();
  cw_set_cursor(0);
  for (size_t i = 0; i < actions.size(); i++)
    if (!run_action(actions[i], script, file, opt.trace)) return EXIT_ERROR;
  int rc = show_result(opt, file, true);
  if (rc == EXIT_DONE && opt.check) check_against_whole(file);
  return rc;
}
