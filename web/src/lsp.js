// The editor kept in step with the language server: every change goes to
// the server as an incremental didChange, and what comes back (colours,
// diagnostics, outline, edits) is applied only while it still describes
// the text on screen, so a late answer never paints the wrong characters.
import { StateEffect, StateField, RangeSetBuilder, EditorSelection } from '@codemirror/state';
import { Decoration, EditorView } from '@codemirror/view';
import { setDiagnostics } from '@codemirror/lint';

const COLOUR_DELAY = 50;
const OUTLINE_DELAY = 250;
// Scripts longer than this get the lines on screen coloured first.
const VISIBLE_FIRST = 300;

// LSP positions (line, UTF-16 column) and editor offsets, clamped to the
// text so that a position past a line's end lands on the end.
export function toOffset(doc, pos) {
  const n = Math.min(Math.max(pos.line, 0), doc.lines - 1) + 1;
  const line = doc.line(n);
  if (pos.line >= doc.lines) return doc.length;
  return Math.min(line.from + Math.max(pos.character, 0), line.to);
}

export function toPosition(doc, offset) {
  const line = doc.lineAt(offset);
  return { line: line.number - 1, character: offset - line.from };
}

// LSP text edits as one editor change set; edits are against DOC.
export function toChanges(doc, edits) {
  return (edits || []).map((e) => ({
    from: toOffset(doc, e.range.start),
    to: toOffset(doc, e.range.end),
    insert: e.newText,
  }));
}

const setColours = StateEffect.define();

const colourField = StateField.define({
  create: () => Decoration.none,
  update(deco, tr) {
    for (const e of tr.effects) if (e.is(setColours)) return e.value;
    return tr.docChanged ? deco.map(tr.changes) : deco;
  },
  provide: (f) => EditorView.decorations.from(f),
});

// The marks for DATA (the relative five-number encoding) over DOC.
function decorationsOf(doc, data, legend, marks) {
  const b = new RangeSetBuilder();
  let line = 0,
    col = 0;
  for (let i = 0; i + 4 < data.length; i += 5) {
    if (data[i] !== 0) col = 0;
    line += data[i];
    col += data[i + 1];
    if (line >= doc.lines) break;
    const l = doc.line(line + 1);
    const from = Math.min(l.from + col, l.to);
    const to = Math.min(from + data[i + 2], l.to);
    if (to <= from) continue;
    const type = legend.tokenTypes[data[i + 3]];
    if (type === undefined) continue;
    let key = type;
    const mods = data[i + 4];
    for (let m = 0; m < legend.tokenModifiers.length; m++) if (mods & (1 << m)) key += ' ' + legend.tokenModifiers[m];
    let mark = marks.get(key);
    if (!mark) {
      mark = Decoration.mark({ class: key.split(' ').map((k) => 'tk-' + k).join(' ') });
      marks.set(key, mark);
    }
    b.add(from, to, mark);
  }
  return b.finish();
}

// One open script: its version, its sync, its colours and outline.
export class Session {
  constructor(client, legend, hooks) {
    this.client = client;
    this.legend = legend;
    this.hooks = hooks; // { outline(symbols), coloured(), log(text) }
    this.uri = 'untitled:/playground.wyn';
    this.version = 0;
    this.view = null;
    this.tokens = null; // { resultId, data } the server's last answer
    this.marks = new Map();
    this.colourTimer = 0;
    this.colouring = false;
    this.outlineTimer = 0;
    client.on('textDocument/publishDiagnostics', (p) => this.diagnostics(p));
    client.onRequest('workspace/semanticTokens/refresh', () => {
      this.tokens = null;
      this.scheduleColours(0);
      return null;
    });
  }

  extensions() {
    const self = this;
    return [
      colourField,
      EditorView.updateListener.of((u) => {
        if (u.docChanged) self.changed(u);
      }),
    ];
  }

  // Opens TEXT as the one document (a new file replaces the old one).
  open(view) {
    if (this.view) this.client.notify('textDocument/didClose', { textDocument: { uri: this.uri } });
    this.view = view;
    // Versions go on rising across documents, so that an answer about the
    // previous one can never pass for one about this.
    this.version++;
    this.tokens = null;
    this.client.notify('textDocument/didOpen', {
      textDocument: { uri: this.uri, languageId: 'wyn', version: this.version, text: view.state.doc.toString() },
    });
    this.scheduleColours(0);
    this.scheduleOutline(0);
  }

  changed(u) {
    if (!this.view) return;
    // Each change is sent against the text the earlier ones left: going
    // from the end backwards keeps the old positions valid.
    const changes = [];
    const old = u.startState.doc;
    u.changes.iterChanges((fromA, toA, _fromB, _toB, inserted) => {
      changes.push({
        range: { start: toPosition(old, fromA), end: toPosition(old, toA) },
        text: inserted.toString(),
      });
    });
    changes.reverse();
    this.version++;
    this.client.notify('textDocument/didChange', {
      textDocument: { uri: this.uri, version: this.version },
      contentChanges: changes,
    });
    this.scheduleColours(COLOUR_DELAY);
    this.scheduleOutline(OUTLINE_DELAY);
  }

  scheduleColours(delay) {
    clearTimeout(this.colourTimer);
    this.colourTimer = setTimeout(() => this.colour(), delay);
  }

  // One colour request at a time; when the text moved on while it ran,
  // its answer still becomes the base for the next delta but is not shown.
  async colour() {
    if (this.colouring) return;
    this.colouring = true;
    const version = this.version;
    try {
      const textDocument = { uri: this.uri };
      // Without a base to update, the lines on screen are coloured first:
      // the whole of a long script takes the server much longer.
      if (!this.tokens && this.view && this.view.state.doc.lines > VISIBLE_FIRST) {
        const doc = this.view.state.doc;
        const { from, to } = this.view.viewport;
        const range = await this.client.request('textDocument/semanticTokens/range', {
          textDocument,
          range: { start: toPosition(doc, from), end: toPosition(doc, to) },
        });
        if (range && Array.isArray(range.data) && version === this.version && this.view) {
          this.show(version, range.data);
        }
      }
      let res;
      if (this.tokens && this.tokens.resultId) {
        res = await this.client.request('textDocument/semanticTokens/full/delta', {
          textDocument,
          previousResultId: this.tokens.resultId,
        });
      } else {
        res = await this.client.request('textDocument/semanticTokens/full', { textDocument });
      }
      if (res && Array.isArray(res.edits)) {
        const data = this.tokens.data.slice();
        // Edits are against the old array; from the last one back keeps
        // each start valid.
        const edits = res.edits.slice().sort((a, b) => b.start - a.start);
        for (const e of edits) data.splice(e.start, e.deleteCount || 0, ...(e.data || []));
        this.tokens = { resultId: res.resultId, data };
      } else if (res && Array.isArray(res.data)) {
        this.tokens = { resultId: res.resultId, data: res.data };
      } else {
        this.tokens = null;
      }
      if (this.tokens && version === this.version && this.view) this.show(version, this.tokens.data);
    } catch (err) {
      this.tokens = null;
      this.hooks.log(String(err.message || err));
    } finally {
      this.colouring = false;
    }
    if (version !== this.version) this.scheduleColours(0);
  }

  show(version, data) {
    const deco = decorationsOf(this.view.state.doc, data, this.legend, this.marks);
    this.view.dispatch({ effects: setColours.of(deco) });
    this.hooks.coloured(version);
  }

  scheduleOutline(delay) {
    clearTimeout(this.outlineTimer);
    this.outlineTimer = setTimeout(() => this.outline(), delay);
  }

  async outline() {
    const version = this.version;
    try {
      const syms = await this.client.request('textDocument/documentSymbol', { textDocument: { uri: this.uri } });
      if (version === this.version) this.hooks.outline(syms || []);
    } catch (err) {
      this.hooks.log(String(err.message || err));
    }
  }

  diagnostics(p) {
    if (!this.view || !p || p.uri !== this.uri) return;
    if (typeof p.version === 'number' && p.version !== this.version) return;
    const doc = this.view.state.doc;
    const severity = { 1: 'error', 2: 'warning', 3: 'info', 4: 'hint' };
    const list = (p.diagnostics || []).map((d) => {
      const from = toOffset(doc, d.range.start);
      return {
        from,
        to: Math.max(from, toOffset(doc, d.range.end)),
        severity: severity[d.severity] || 'error',
        message: d.message,
        source: d.source,
      };
    });
    this.view.dispatch(setDiagnostics(this.view.state, list));
  }

  // Applies EDITS if the text is still VERSION; false when it moved on.
  apply(version, edits, selection) {
    if (version !== this.version || !this.view) return false;
    const doc = this.view.state.doc;
    const changes = this.view.state.changes(toChanges(doc, edits));
    const spec = { changes, scrollIntoView: true, userEvent: 'input.server' };
    if (selection) spec.selection = selection(changes);
    this.view.dispatch(spec);
    return true;
  }

  // The server's expansion of the template named by the word before the
  // cursor; the cursor goes where the template's mark is.
  async expand() {
    const view = this.view;
    const version = this.version;
    const at = toPosition(view.state.doc, view.state.selection.main.head);
    const actions = await this.client.request('textDocument/codeAction', {
      textDocument: { uri: this.uri },
      range: { start: at, end: at },
      context: { diagnostics: [] },
    });
    for (const action of actions || []) {
      const cmd = action && typeof action.command === 'object' ? action.command : action;
      if (!cmd || cmd.command !== 'wyn.expandTemplate') continue;
      const res = await this.client.request('workspace/executeCommand', { command: cmd.command, arguments: cmd.arguments });
      if (!res || !res.changes) return false;
      const edits = res.changes[this.uri] || [];
      return this.apply(version, edits, (changes) => {
        if (!res.cursor) return undefined;
        // The cursor is a position in the text once the edit is made.
        const after = changes.apply(view.state.doc);
        return EditorSelection.cursor(toOffset(after, res.cursor));
      });
    }
    return false;
  }

  // Enter: a new line with the line's own indent at once, then the
  // plug-in's indent for it from the server.
  enter(view) {
    const state = view.state;
    // Several cursors get the editor's own new lines.
    if (state.selection.ranges.length > 1) return false;
    const sel = state.selection.main;
    const line = state.doc.lineAt(sel.from);
    const indent = /^[ \t]*/.exec(line.text)[0].slice(0, Math.max(0, sel.from - line.from));
    view.dispatch({
      changes: { from: sel.from, to: sel.to, insert: '\n' + indent },
      selection: EditorSelection.cursor(sel.from + 1 + indent.length),
      scrollIntoView: true,
      userEvent: 'input',
    });
    const version = this.version;
    const position = toPosition(view.state.doc, view.state.selection.main.head);
    this.client
      .request('textDocument/onTypeFormatting', {
        textDocument: { uri: this.uri },
        position,
        ch: '\n',
        options: { tabSize: 4, insertSpaces: false },
      })
      .then((edits) => {
        if (!edits || !edits.length) return;
        this.apply(version, edits, (changes) => {
          // The cursor stays after the new line's indentation.
          const after = changes.apply(view.state.doc);
          const l = after.line(position.line + 1);
          return EditorSelection.cursor(l.from + /^[ \t]*/.exec(l.text)[0].length);
        });
      })
      .catch((err) => this.hooks.log(String(err.message || err)));
    return true;
  }

  async format() {
    const version = this.version;
    const edits = await this.client.request('textDocument/formatting', {
      textDocument: { uri: this.uri },
      options: { tabSize: 4, insertSpaces: false },
    });
    return this.apply(version, edits || []);
  }
}
