// wyn expand, wyn indent, wyn edit: the editing aids at work on a file,
// with the touched lines re-coloured after every edit as the editor does.
#include "render.h"
#include "tool.h"

#include <assert.h>
#include <errno.h>
#include <string.h>

namespace {

// Reads the FILE operand into doc. The text goes straight into the
// document, so it is held once; only a file to be written back is also
// kept as it was read, to tell whether anything changed.
bool read_into(const Options& opt, Source* file, wyn::Document* doc) {
  if (!opt.in_place) {
    if (!read_source_into(opt.args[0], file, doc)) return false;
    say_coding(*file);
    return true;
  }
  if (!read_source(opt.args[0], file)) return false;
  say_coding(*file);
  if (doc->set_text(file->text)) return true;
  // Nothing is written from a document that could not take the text.
  fprintf(stderr, "wyn: %s: %s\n", file->name.c_str(), strerror(ENOMEM));
  return false;
}

// With trace, tells which lines an edit handed to the re-colouring and
// which the editor was then asked to redisplay.
void trace_edit(const wyn::Document::Edit& edit, const std::string& where, const std::string& what,
                bool trace) {
  if (!trace || !edit.changed) return;
  wyn::LineSpan shown;
  if (!edit.redisplay.empty()) shown = edit.redisplay.back();
  fprintf(stderr, "%s: %s: _wyn_language_colors_update(%ld, %ld), redisplay lines %ld-%ld\n",
          where.c_str(), what.c_str(), edit.handed.first, edit.handed.last, shown.first,
          shown.last);
}

// How a typed character reads in a trace line.
std::string shown_char(char c) {
  if (c == '\n') return "Enter";
  if (c == '\t') return "type '\\t'";
  if (c == '\r') return "type '\\r'";
  return std::string("type '") + c + "'";
}

// Why LINE:COL names no position of doc: a line past the end (where names
// the text), or a column past the end of its line.
std::string outside(const wyn::Document& doc, long line, const std::string& where) {
  if (line > doc.line_count())
    return " lies outside " + where + " (" + std::to_string(doc.line_count()) + " lines)";
  return ": line " + std::to_string(line) + " has " + std::to_string(doc.line_length(line)) +
         " characters";
}

// Runs one action of the keys script; false when it cannot (a position
// outside the buffer, a plug-in that cannot be called).
bool run_action(wyn::Document* doc, const KeyAction& act, const Source& script, const Source& file,
                bool trace) {
  std::string where = script.name + ":" + std::to_string(act.script_line);
  long cursor = doc->cursor();
  long line = doc->line_of(cursor);
  long col = cursor - doc->line_start(line) + 1;
  wyn::Document::Edit edit;
  std::string error;
  switch (act.op) {
    case KEY_TYPE:
      for (size_t i = 0; i < act.text.size(); i++) {
        char c = act.text[i];
        if (!reported(doc->type(c, &edit, &error), error)) return false;
        trace_edit(edit, where, shown_char(c), trace);
      }
      return true;
    case KEY_NEWLINE:
      for (long i = 0; i < act.count; i++) {
        if (!reported(doc->enter(&edit, &error), error)) return false;
        trace_edit(edit, where, "Enter", trace);
      }
      return true;
    case KEY_EXPAND:
    case KEY_INDENT: {
      bool expand = act.op == KEY_EXPAND;
      bool ok = expand ? doc->expand(cursor, &edit, &error) : doc->indent(cursor, &edit, &error);
      if (!reported(ok, error)) return false;
      const char* name = expand ? "expand" : "indent";
      if (edit.done)
        trace_edit(edit, where, name, trace);
      else if (trace)
        fprintf(stderr, "%s: %s: the plug-in did nothing\n", where.c_str(), name);
      return true;
    }
    case KEY_GOTO: {
      long pos = doc->position(act.line, act.col);
      if (pos < 0) {
        fprintf(stderr, "%s: goto %ld:%ld%s\n", where.c_str(), act.line, act.col,
                outside(*doc, act.line, file.name).c_str());
        return false;
      }
      doc->set_cursor(pos);
      return true;
    }
    case KEY_LEFT:
      doc->set_cursor(cursor - (act.count < cursor ? act.count : cursor));
      return true;
    case KEY_RIGHT:
      doc->set_cursor(cursor + act.count);  // the editor clamps it
      return true;
    case KEY_UP:
    case KEY_DOWN: {
      long to = act.op == KEY_UP ? line - act.count : line + act.count;
      if (to < 1) to = 1;
      if (to > doc->line_count()) to = doc->line_count();
      long len = doc->line_length(to);
      doc->set_cursor(doc->line_start(to) + (col - 1 < len ? col - 1 : len));
      return true;
    }
    case KEY_HOME:
      doc->set_cursor(doc->line_start(line));
      return true;
    case KEY_END:
      doc->set_cursor(doc->line_start(line) + doc->line_length(line));
      return true;
  }
  return false;
}

// Colours the final text afresh, in a document of its own, and names the
// lines whose colours differ from what the re-colouring after each edit
// left. False when some do.
bool check_against_whole(const wyn::Document& doc, const Source& file) {
  std::vector<signed char> replayed = doc.categories();
  wyn::Document fresh(doc.text());
  std::string error;
  if (!reported(fresh.colour_whole(&error), error)) return false;
  std::vector<signed char> whole = fresh.categories();
  long count = doc.line_count();
  std::string lines;
  long run_first = 0, run_last = 0, stale = 0;
  for (long line = 1; line <= count + 1; line++) {
    bool differs = false;
    if (line <= count) {
      size_t start = (size_t)doc.line_start(line);
      size_t end = line < count ? (size_t)doc.line_start(line + 1) : whole.size();
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
  return stale == 0;
}

// The plug-in's smart indent opened a new line after `line` with one tab
// more than that line has: the tab becomes one level of unit.
void indent_in_unit(wyn::Document* doc, long line, const wyn::IndentUnit& unit) {
  assert(line >= 1 && line < doc->line_count());  // the plug-in added the line after it
  auto leading = [&](long n) {
    std::string text = doc->text((size_t)doc->line_start(n), (size_t)doc->line_length(n));
    return text.substr(0, text.find_first_not_of(" \t"));
  };
  std::string got = leading(line + 1);
  std::string want = wyn::plugin_indent_in_unit(leading(line), got, unit);
  if (want != got) doc->replace(doc->line_start(line + 1), (long)got.size(), want);
}

// expand and indent share everything but the action.
int one_action(const Options& opt, const char* verb) {
  if (opt.args.size() != 2) {
    fprintf(stderr, "wyn: %s needs FILE LINE:COL\n", verb);
    return EXIT_ERROR;
  }
  long line = 0, col = 0;
  if (!parse_position(opt.args[1], &line, &col)) {
    fprintf(stderr, "wyn: bad position '%s': expected LINE:COL, both from 1\n", opt.args[1]);
    return EXIT_ERROR;
  }
  Source file;
  wyn::Document doc;
  if (!read_into(opt, &file, &doc) || !session_open(opt)) return EXIT_ERROR;
  long pos = doc.position(line, col);
  if (pos < 0) {
    fprintf(stderr, "wyn: %s: position %ld:%ld%s\n", file.name.c_str(), line, col,
            outside(doc, line, "the buffer").c_str());
    return EXIT_ERROR;
  }
  std::string error;
  if (!reported(doc.colour_whole(&error), error)) return EXIT_ERROR;
  wyn::Document::Edit edit;
  bool expand = !strcmp(verb, "expand");
  bool ok = expand ? doc.expand(pos, &edit, &error) : doc.indent(pos, &edit, &error);
  if (!reported(ok, error)) return EXIT_ERROR;
  if (!edit.done) {
    fprintf(stderr, "wyn: %s:%ld:%ld: the plug-in did not %s here\n", file.name.c_str(), line, col,
            verb);
    return EXIT_NOTHING;
  }
  if (!expand) indent_in_unit(&doc, line, indent_unit_for(opt, opt.args[0]));
  if (expand && opt.cursor) {
    // Where the template's cursor mark left the cursor, for a script to
    // go on from: LINE:COL as the command takes it, on a line of its own.
    long at = doc.cursor();
    long at_line = doc.line_of(at);
    fprintf(stderr, "%ld:%ld\n", at_line, at - doc.line_start(at_line) + 1);
  }
  return show_result(opt, file, doc);
}

}  // namespace

int show_result(const Options& opt, const Source& file, const wyn::Document& doc) {
  // The whole text once more only when a file is written with it.
  std::string text = opt.in_place || opt.html != nullptr ? doc.text() : std::string();
  if (opt.html != nullptr && !output_allowed(opt.html, {file.id}, true)) return EXIT_ERROR;
  // An unchanged file is left alone: not even its time changes.
  int rc = EXIT_DONE;
  if (opt.in_place && text == file.text) {
    fprintf(stderr, "wyn: %s: nothing changed; nothing written\n", file.name.c_str());
    rc = EXIT_NOTHING;
  } else if (opt.in_place) {
    // The file keeps its form: its mark, UTF-16 and byte order.
    std::string encoded;
    const std::string* bytes = write_form(file, text, &encoded);
    if (bytes == nullptr || !replace_file(file.name.c_str(), *bytes, file.id)) return EXIT_ERROR;
  }
  if (opt.html != nullptr) {
    std::string head, tail;
    html_begin(&head, file.name.c_str());
    html_end(&tail);
    PageBuffer page;
    page.put(head);
    html_section(&page, file.name, text, doc.categories());
    page.put(tail);
    if (!html_write(opt.html, page)) return EXIT_ERROR;
  }
  if (opt.in_place || opt.html != nullptr) return rc;
  // Plain, the result is the script itself, to be redirected to a file;
  // asked to be shown, it is shown as colour shows a script.
  bool ansi = use_colour(opt.colour);
  if (opt.legend) out_text(terminal_legend(ansi));
  bool plain = !(ansi || opt.line_numbers || opt.tab_width || opt.encoding);
  if (plain && file.coding.form != FileForm::BYTES) {
    // The script as its file would hold it, mark and UTF-16 included.
    std::string encoded;
    const std::string* bytes = write_form(file, doc.text(), &encoded);
    if (bytes == nullptr) return EXIT_ERROR;
    out_text(*bytes);
    return EXIT_DONE;
  }
  show_coloured(doc, ansi, plain, file.coding.guess);
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
  wyn::Document doc;
  if (!read_into(opt, &file, &doc) || !session_open(opt)) return EXIT_ERROR;
  plugin().set_state_flag(opt.state_flag);
  std::string error;
  if (!reported(doc.colour_whole(&error), error)) return EXIT_ERROR;
  for (size_t i = 0; i < actions.size(); i++)
    if (!run_action(&doc, actions[i], script, file, opt.trace)) return EXIT_ERROR;
  int rc = show_result(opt, file, doc);
  if (rc == EXIT_DONE && opt.check && !check_against_whole(doc, file)) rc = EXIT_NOTHING;
  return rc;
}
