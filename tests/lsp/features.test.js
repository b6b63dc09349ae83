// The server's editing capabilities as a client sees them, each held against
// what the tool gets from the plug-in for the same text: completion with
// snippets, resolve, signature help, hover, symbols, definition, folding,
// on-type formatting, the expansion command and its code action, and the
// configuration settings.
'use strict';

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const c = require('./client.js');

const Kind = { Function: 3, Keyword: 14, Constant: 21 };

// Plain text of hover contents in any of their three shapes.
function hoverText(h) {
  if (!h) return '';
  const one = (x) => (typeof x === 'string' ? x : x.value);
  return Array.isArray(h.contents) ? h.contents.map(one).join('\n') : one(h.contents);
}

const docText = (d) => (d === undefined ? '' : typeof d === 'string' ? d : d.value);

// What inserting snippet SNIPPET leaves: placeholders become their text,
// tab stops vanish, escapes are undone.
const snippetText = (s) =>
  s
    .replace(/\$\{\d+:([^}]*)\}/g, '$1')
    .replace(/\$\{\d+\}|\$\d+/g, '')
    .replace(/\\([$}\\])/g, '$1');

// The text after accepting completion ITEM at POS in TEXT, the word before
// POS being replaced and, unless the item says as-is, the new lines indented
// like the line the item goes into (as the common clients do).
function accept(text, pos, item) {
  let insert = item.insertTextFormat === 2 ? snippetText(item.insertText || item.textEdit.newText) : item.insertText || item.label;
  if (item.textEdit) insert = item.insertTextFormat === 2 ? snippetText(item.textEdit.newText) : item.textEdit.newText;
  const line = c.splitLines(text)[pos.line];
  if (item.insertTextMode !== 1) insert = insert.replace(/\n/g, `\n${line.match(/^[ \t]*/)[0]}`);
  if (item.textEdit) {
    const range = item.textEdit.range || item.textEdit.replace;
    return c.applyEdits(text, [{ range, newText: insert }]);
  }
  const start = pos.character - line.slice(0, pos.character).match(/[#\w]*$/)[0].length;
  return c.applyEdits(text, [{ range: { start: { line: pos.line, character: start }, end: pos }, newText: insert }]);
}

// The items of a completion answer, each with the list's defaults filled in.
function completionItems(res) {
  if (Array.isArray(res)) return res;
  const d = res.itemDefaults || {};
  return res.items.map((i) => {
    const item = { ...i };
    for (const k of ['insertTextFormat', 'insertTextMode', 'data', 'commitCharacters']) {
      if (item[k] === undefined && d[k] !== undefined) item[k] = d[k];
    }
    if (!item.textEdit && d.editRange) {
      const range = d.editRange.insert || d.editRange;
      item.textEdit = { range, newText: item.textEditText ?? item.insertText ?? item.label };
    }
    return item;
  });
}

// Text edits for URI out of a workspace edit in either of its shapes.
function editsFor(edit, uri) {
  if (edit.changes) return edit.changes[uri] || [];
  return (edit.documentChanges || []).filter((d) => d.textDocument.uri === uri).flatMap((d) => d.edits);
}

describe('editing capabilities', () => {
  let server;
  let ws;
  let n = 0;
  // Opens TEXT as a new document and returns its uri.
  const open = (text) => {
    const uri = c.uriOf(path.join(ws, `doc${++n}.wyn`));
    server.open(uri, text);
    return uri;
  };
  before(async () => {
    ws = c.exampleWorkspace();
    server = await c.startServer({ workspaceFolders: [ws] });
  });
  after(async () => {
    assert.equal(await server.stop(), 0);
  });

  it('announces every capability', () => {
    const caps = server.init.capabilities;
    const sync = caps.textDocumentSync;
    assert.equal(typeof sync === 'number' ? sync : sync.change, 2, 'incremental text sync');
    assert.ok(caps.completionProvider && caps.completionProvider.resolveProvider, 'completion with resolve');
    assert.ok(caps.signatureHelpProvider, 'signature help');
    for (const p of ['hoverProvider', 'documentSymbolProvider', 'workspaceSymbolProvider', 'definitionProvider', 'foldingRangeProvider', 'codeActionProvider']) {
      assert.ok(caps[p], p);
    }
    assert.equal(caps.documentOnTypeFormattingProvider.firstTriggerCharacter, '\n');
    assert.ok(caps.executeCommandProvider.commands.includes('wyn.expandTemplate'));
  });

  // Completion as two kinds of client take it: items with their own edits,
  // and a list whose items share defaults (as VS Code's client asks for).
  const flavours = [
    { name: 'items with their own edits' },
    {
      name: 'list-wide defaults',
      capabilities: {
        textDocument: {
          completion: {
            completionList: { itemDefaults: ['commitCharacters', 'editRange', 'insertTextFormat', 'insertTextMode', 'data'] },
            completionItem: { insertTextModeSupport: { valueSet: [1, 2] } },
          },
        },
      },
    },
  ];
  for (const flavour of flavours) {
    describe(`completion, ${flavour.name}`, () => {
      let client;
      before(async () => {
        client = flavour.capabilities ? await c.startServer({ capabilities: flavour.capabilities }) : server;
      });
      after(async () => {
        if (client !== server) assert.equal(await client.stop(), 0);
      });
      const cases = [
        { label: 'while', kind: Kind.Keyword, line: '    whi', snippet: true },
        { label: 'if', kind: Kind.Keyword, line: '\t\ti', snippet: true },
        { label: 'function', kind: Kind.Keyword, line: 'func', snippet: true },
        { label: 'AskYesNo', kind: Kind.Function, line: '    AskY', snippet: true, placeholders: ['${1:szQuestion}', '${2:nDefault}'] },
        { label: 'TARGETDIR', kind: Kind.Constant, line: '    x = TARGE', snippet: false },
        { label: 'endwhile', kind: Kind.Keyword, line: '    endwh', snippet: false },
      ];
      for (const t of cases) {
        it(`${t.label} after ${JSON.stringify(t.line)}`, async () => {
          const text = `program\n${t.line}\nendprogram\n`;
          const uri = `untitled:/completion/${encodeURIComponent(t.line)}.wyn`;
          client.open(uri, text);
          const pos = { line: 1, character: t.line.length };
          const items = completionItems(await client.request('textDocument/completion', { textDocument: { uri }, position: pos }));
          const item = items.find((i) => i.label === t.label && (!t.snippet || i.insertTextFormat === 2));
          assert.ok(item, `no${t.snippet ? ' snippet' : ''} item ${t.label} among ${items.length}`);
          assert.equal(item.kind, t.kind);
          if (!t.snippet) {
            assert.equal(accept(text, pos, item), text.replace(t.line, t.line.replace(/\w+$/, t.label)));
            return;
          }
          const body = item.insertText || item.textEdit.newText;
          assert.doesNotMatch(body, /[&@]/, 'template markers left in the snippet');
          for (const p of t.placeholders || []) assert.ok(body.includes(p), `${p} not in ${body}`);
          if (!t.placeholders) assert.match(body, /\$0/, 'the final cursor');
          // Accepting it gives what the plug-in's own expansion of the word gives.
          const word = `program\n${t.line.replace(/\w+$/, t.label)}\nendprogram\n`;
          const expanded = c.tool(['expand', '-', `2:${t.line.replace(/\w+$/, '').length + 1}`], word);
          assert.equal(accept(text, pos, item), expanded);
          // Resolving adds the template text.
          const resolved = await client.request('completionItem/resolve', item);
          const doc = docText(resolved.documentation);
          assert.ok(doc.includes(t.label), `documentation ${JSON.stringify(doc)} lacks the template`);
        });
      }
    });
  }

  describe('signature help', () => {
    const cases = [
      { line: '    AskYesNo(', active: 0 },
      { line: '    AskYesNo(szMsg, ', active: 1 },
      { line: '    n = AskYesNo("a, b, c", ', active: 1 },
      { line: '    AskPath(szMsg, "x,(y", ', active: 2 },
      { line: '    AskPath(Foo(a, b), ', active: 1 },
    ];
    for (const t of cases) {
      it(JSON.stringify(t.line), async () => {
        const uri = open(`program\n${t.line}\nendprogram\n`);
        const res = await server.request('textDocument/signatureHelp', {
          textDocument: { uri },
          position: { line: 1, character: t.line.length },
        });
        assert.ok(res && res.signatures.length, 'no signature');
        const sig = res.signatures[res.activeSignature || 0];
        const fn = t.line.match(/(AskYesNo|AskPath)/)[1];
        assert.ok(sig.label.includes(fn), sig.label);
        const names = sig.parameters.map((p) => (typeof p.label === 'string' ? p.label : sig.label.slice(...p.label)));
        assert.deepEqual(names, fn === 'AskYesNo' ? ['szQuestion', 'nDefault'] : ['szMsg', 'szDefPath', 'svResultPath']);
        assert.equal(sig.activeParameter ?? res.activeParameter, t.active);
      });
    }
    it('none outside a call', async () => {
      const uri = open('program\n    x = 1;\nendprogram\n');
      const res = await server.request('textDocument/signatureHelp', { textDocument: { uri }, position: { line: 1, character: 9 } });
      assert.ok(!res || !res.signatures.length);
    });
  });

  describe('hover', () => {
    const text = 'program\n    if (AskYesNo(szMsg, NO) = TARGETDIR) then\n    endif;\nendprogram\n';
    const cases = [
      { word: 'AskYesNo', want: /AskYesNo \(.*szQuestion, nDefault\);/ },
      { word: 'TARGETDIR', want: /constant/i },
      { word: 'NO)', want: /constant/i },
      { word: 'if', want: /reserved/i },
      { word: 'endif', want: /reserved/i },
      { word: 'szMsg', want: null },
    ];
    for (const t of cases) {
      it(t.word, async () => {
        const uri = open(text);
        const res = await server.request('textDocument/hover', { textDocument: { uri }, position: c.positionOf(text, t.word, 1) });
        if (!t.want) assert.ok(!res || !hoverText(res).trim(), `hover on ${t.word}: ${JSON.stringify(res)}`);
        else assert.match(hoverText(res), t.want);
      });
    }
  });

  describe('symbols and definition', () => {
    const routines = (file) =>
      c
        .tool(['routines', file])
        .split('\n')
        .filter(Boolean)
        // marked lines, the whole extent when the tool gives it, the header
        .map((l) => l.match(/^\s*(\d+)-\d+\s+(?:\d+-(\d+)\s+)?(.*)$/))
        .map((m) => ({ line: Number(m[1]) - 1, last: m[2] && Number(m[2]) - 1, name: m[3].match(/(\w+)\s*\(/)[1] }));
    for (const name of c.exampleNames) {
      it(`document symbols of ${name} are the plug-in's routines`, async () => {
        const file = path.join(ws, name);
        const text = fs.readFileSync(file, 'utf8');
        const lines = c.splitLines(text);
        const uri = c.uriOf(file);
        server.open(uri, text);
        const syms = await server.request('textDocument/documentSymbol', { textDocument: { uri } });
        const want = routines(file);
        assert.deepEqual(
          syms.map((s) => s.name),
          want.map((r) => r.name),
        );
        syms.forEach((s, i) => {
          assert.equal(s.kind, 12, 'Function');
          assert.equal(s.range.start.line, want[i].line, `${s.name} starts at its header`);
          const sel = s.selectionRange;
          assert.equal(lines[sel.start.line].slice(sel.start.character, sel.end.character), s.name);
          assert.ok(sel.start.line >= s.range.start.line && sel.end.line <= s.range.end.line, 'selection inside the range');
          assert.match(lines[s.range.end.line], /^\s*end\s*;/, `${s.name} extends to its end`);
          if (want[i].last !== undefined) assert.equal(s.range.end.line, want[i].last, `${s.name} ends where the tool says`);
        });
        server.conn.sendNotification('textDocument/didClose', { textDocument: { uri } });
      });
    }

    it('workspace symbols: files of the folder and open documents', async () => {
      const uri = open('function MyOwnRoutine(n)\nbegin\nend;\n');
      const cases = [
        { query: 'RegWrite', name: 'RegWriteProduct', uri: c.uriOf(path.join(ws, 'registry.wyn')), line: 18 },
        { query: 'CheckReq', name: 'CheckRequirements', uri: c.uriOf(path.join(ws, 'setup.wyn')), line: 62 },
        { query: 'MyOwn', name: 'MyOwnRoutine', uri, line: 0 },
      ];
      for (const t of cases) {
        const res = await server.request('workspace/symbol', { query: t.query });
        const hit = res.find((s) => s.name === t.name);
        assert.ok(hit, `${t.query}: ${JSON.stringify(res.map((s) => s.name))}`);
        assert.equal(hit.location.uri, t.uri);
        if (hit.location.range) assert.equal(hit.location.range.start.line, t.line);
      }
    });

    it('go to definition of a routine defined in the workspace', async () => {
      const file = path.join(ws, 'uninstall.wyn');
      const text = fs.readFileSync(file, 'utf8');
      const uri = c.uriOf(file);
      server.open(uri, text);
      const cases = [
        { at: '    RegRemoveProduct(APP', uri: c.uriOf(path.join(ws, 'registry.wyn')), line: 60 },
        { at: '    RemoveFiles(svDir)', uri, line: 31 },
      ];
      for (const t of cases) {
        const res = await server.request('textDocument/definition', { textDocument: { uri }, position: c.positionOf(text, t.at, 6) });
        const locs = (Array.isArray(res) ? res : [res]).map((l) => ({ uri: l.uri || l.targetUri, range: l.range || l.targetSelectionRange }));
        assert.equal(locs.length, 1, JSON.stringify(res));
        assert.equal(locs[0].uri, t.uri);
        assert.equal(locs[0].range.start.line, t.line);
      }
      const none = await server.request('textDocument/definition', { textDocument: { uri }, position: c.positionOf(text, 'svDir);', 1) });
      assert.ok(!none || (Array.isArray(none) && !none.length));
    });
  });

  it('folding: block comments and routine bodies', async () => {
    const file = path.join(ws, 'setup.wyn');
    const text = fs.readFileSync(file, 'utf8');
    const uri = c.uriOf(file);
    server.open(uri, text);
    const folds = await server.request('textDocument/foldingRange', { textDocument: { uri } });
    const has = (start, end, kind) => folds.some((f) => f.startLine === start && f.endLine >= end - 1 && f.endLine <= end && (!kind || f.kind === kind));
    assert.ok(has(0, 5, 'comment'), 'the banner comment');
    assert.ok(has(60, 61, 'comment'), 'a two-line comment');
    const syms = await server.request('textDocument/documentSymbol', { textDocument: { uri } });
    for (const s of syms) assert.ok(has(s.range.start.line, s.range.end.line), `body of ${s.name}`);
    assert.ok(!folds.some((f) => f.startLine === 1 || f.startLine === 7), 'nothing folds at a single-line item');
  });

  describe('on-type formatting', () => {
    // The client's text after Enter at the end of line 2 with the client's
    // own indent CLIENT; the server's edits must give the plug-in's indent.
    const cases = [
      { line: '    if (a) then', client: '    ' },
      { line: '    if (a) then', client: '' },
      { line: '    while (i < 3)', client: '\t\t\t' },
      { line: '\tfor i = 1 to 3', client: '\t' },
      { line: 'begin', client: '  ' },
    ];
    for (const t of cases) {
      it(`${JSON.stringify(t.line)} with ${JSON.stringify(t.client)} typed`, async () => {
        const before = `program\n${t.line}\nendprogram\n`;
        const typed = `program\n${t.line}\n${t.client}\nendprogram\n`;
        const uri = open(typed);
        const edits = await server.request('textDocument/onTypeFormatting', {
          textDocument: { uri },
          position: { line: 2, character: t.client.length },
          ch: '\n',
          options: { tabSize: 4, insertSpaces: false },
        });
        const want = c.tool(['indent', '-', `2:${t.line.length + 1}`], before);
        assert.equal(c.applyEdits(typed, edits || []), want);
      });
    }
  });

  describe('template expansion command and code action', () => {
    const cases = [
      { text: 'program\n    while\nendprogram\n', at: { line: 1, character: 6 }, col: 5 },
      { text: 'program\n\tAskYesNo\nendprogram\n', at: { line: 1, character: 9 }, col: 2 },
      { text: 'program\n    repeat\nendprogram\n', at: { line: 1, character: 4 }, col: 5 },
    ];
    for (const t of cases) {
      it(JSON.stringify(t.text.split('\n')[1]), async () => {
        const uri = open(t.text);
        const actions = await server.request('textDocument/codeAction', {
          textDocument: { uri },
          range: { start: t.at, end: t.at },
          context: { diagnostics: [] },
        });
        const action = (actions || []).find((a) => a.command === 'wyn.expandTemplate' || (a.command && a.command.command === 'wyn.expandTemplate'));
        assert.ok(action, `no expansion offered: ${JSON.stringify(actions)}`);
        const cmd = typeof action.command === 'string' ? action : action.command;
        server.applied.length = 0;
        const result = await server.request('workspace/executeCommand', { command: cmd.command, arguments: cmd.arguments });
        const edit = server.applied.length ? server.applied[0] : result;
        assert.ok(edit, 'the command gave no workspace edit');
        const want = c.tool(['expand', '-', `2:${t.col}`], t.text);
        assert.equal(c.applyEdits(t.text, editsFor(edit, uri)), want);
      });
    }
    it('no expansion offered where the plug-in has no template', async () => {
      const uri = open('program\n    svDir = 1;\nendprogram\n');
      const actions = await server.request('textDocument/codeAction', {
        textDocument: { uri },
        range: { start: { line: 1, character: 6 }, end: { line: 1, character: 6 } },
        context: { diagnostics: [] },
      });
      assert.ok(!(actions || []).some((a) => JSON.stringify(a).includes('wyn.expandTemplate')));
    });
  });
});

describe('configuration', () => {
  const text = 'program\n    MYCONST = MYFUNC(MYKEY);\nendprogram\n';
  // Token type of WORD in TEXT on SERVER.
  async function typeOf(server, uri, word) {
    const res = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
    const pos = c.positionOf(text, word);
    const tok = c.decodeTokens(res.data, server.legend).find((t) => t.line === pos.line && t.start === pos.character);
    return tok ? tok.type : null;
  }
  const dir = c.tempDir();
  const cfg = path.join(dir, 'extra.cfg');
  fs.writeFileSync(cfg, 'keyword MYCONST constant\ntemplate mytpl "mytpl (&nOne, nTwo);"\n');
  const settings = { configFile: cfg, keywords: { function: ['MYFUNC'] }, templates: { loop2: 'loop2 & do\n\t\n@endloop2;' } };

  it('initializationOptions: config file, words and templates', async () => {
    const server = await c.startServer({ initializationOptions: settings });
    try {
      const uri = 'untitled:/cfg1.wyn';
      server.open(uri, text);
      assert.equal(await typeOf(server, uri, 'MYCONST'), 'variable');
      assert.equal(await typeOf(server, uri, 'MYFUNC'), 'function');
      assert.equal(await typeOf(server, uri, 'MYKEY'), null);
      const res = await server.request('textDocument/completion', { textDocument: { uri }, position: { line: 1, character: 4 } });
      const labels = (Array.isArray(res) ? res : res.items).map((i) => i.label);
      for (const l of ['mytpl', 'loop2']) assert.ok(labels.includes(l), `${l} not offered`);
    } finally {
      assert.equal(await server.stop(), 0);
    }
    // Said in the client's log, as information; stderr, which clients show
    // as errors, stays empty.
    assert.deepEqual(
      server.logs.filter((l) => l.message.includes(cfg)),
      [{ type: 3, message: `configuration ${cfg} applied` }],
    );
    assert.equal(server.stderr(), '');
  });

  it('a .wyn.cfg beside the document applies to it', async () => {
    const proj = c.tempDir();
    fs.writeFileSync(path.join(proj, '.wyn.cfg'), 'keyword MYKEY keyword\n');
    fs.mkdirSync(path.join(proj, 'sub'));
    const server = await c.startServer({ workspaceFolders: [proj] });
    try {
      const uri = c.uriOf(path.join(proj, 'sub', 'a.wyn'));
      server.open(uri, text);
      assert.equal(await typeOf(server, uri, 'MYKEY'), 'keyword');
    } finally {
      assert.equal(await server.stop(), 0);
    }
  });

  it('didChangeConfiguration adds words and re-colours open documents', async () => {
    const server = await c.startServer();
    try {
      const uri = 'untitled:/cfg2.wyn';
      server.open(uri, text);
      assert.equal(await typeOf(server, uri, 'MYKEY'), null);
      const refreshes = server.refreshes;
      server.conn.sendNotification('workspace/didChangeConfiguration', { settings: { wyn: { keywords: { keyword: ['MYKEY'] } } } });
      assert.equal(await typeOf(server, uri, 'MYKEY'), 'keyword');
      assert.ok(server.refreshes > refreshes, 'the client was not asked to refresh its tokens');
    } finally {
      assert.equal(await server.stop(), 0);
    }
  });
});
