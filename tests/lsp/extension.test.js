// The VS Code extension without VS Code: its manifest and language
// configuration bind the wyn language, and extension.js, run against
// stand-ins of the editor's API and of the language client, starts
// `wyn.path lsp` for wyn documents with the wyn settings, restarts the
// server when wyn.path changes or on its command, shows the server's output,
// and expands the template at the cursor on its command.
'use strict';

const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const Module = require('node:module');
const path = require('node:path');
const { root } = require('./client.js');

const dir = path.join(root, 'editors', 'vscode');
const manifest = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));

// An entry of the extension (extension.js, the desktop one, or
// web-extension.js, the browser one) with the editor's API and the language
// client stubbed; its own modules are loaded afresh, so they see the stubs.
function loadExtension(vscode, LanguageClient, entry = 'extension.js') {
  const client = { LanguageClient, TransportKind: { stdio: 0 } };
  const stubs = { vscode, 'vscode-languageclient/node': client, 'vscode-languageclient/browser': client };
  const load = Module._load;
  Module._load = function (request, ...rest) {
    return request in stubs ? stubs[request] : load.call(this, request, ...rest);
  };
  try {
    for (const file of Object.keys(require.cache)) if (path.dirname(file) === dir) delete require.cache[file];
    return require(path.join(dir, entry));
  } finally {
    Module._load = load;
  }
}

// The parts of the editor's API every activation uses (its commands and its
// output channel), under the test's own WORKSPACE, WINDOW and the rest.
function editorStub({ workspace = {}, window = {}, ...rest } = {}) {
  const commands = new Map();
  const output = { shown: 0, lines: [], show() { this.shown++; }, appendLine(l) { this.lines.push(l); }, dispose() {} };
  return {
    commands: { registerCommand: (id, f) => (commands.set(id, f), { dispose() {} }) },
    registered: commands,
    output,
    ...rest,
    workspace: {
      getConfiguration: () => ({ get: (k) => (k === 'path' ? 'wyn' : undefined) }),
      onDidChangeConfiguration: () => ({ dispose() {} }),
      ...workspace,
    },
    window: { createOutputChannel: () => output, showErrorMessage: (m) => assert.fail(m), ...window },
  };
}

describe('VS Code extension', () => {
  it('manifest: the wyn language for *.wyn and its settings', () => {
    const lang = manifest.contributes.languages.find((l) => l.id === 'wyn');
    assert.ok(lang, 'no wyn language');
    assert.deepEqual(lang.extensions, ['.wyn', '.WYN', '.Wyn']);
    assert.deepEqual(lang.filenamePatterns, ['*.[wW][yY][nN]']);
    assert.ok(manifest.activationEvents.includes('onLanguage:wyn'));
    const props = manifest.contributes.configuration.properties;
    for (const k of ['wyn.path', 'wyn.configFile', 'wyn.keywords', 'wyn.templates']) assert.ok(props[k], k);
    // Empty: the extension chooses the server itself.
    assert.equal(props['wyn.path'].default, '');
    assert.ok(manifest.dependencies['vscode-languageclient']);
    const conf = JSON.parse(fs.readFileSync(path.join(dir, lang.configuration), 'utf8'));
    assert.equal(conf.comments.lineComment, '//');
    assert.deepEqual(conf.comments.blockComment, ['/*', '*/']);
    assert.ok(conf.brackets.some(([o, c]) => o === '(' && c === ')'));
    for (const q of ['"', "'"]) assert.ok(conf.autoClosingPairs.some((p) => p.open === q && p.close === q), `auto-closed ${q}`);
  });

  it('starts wyn.path lsp with the settings, and again when wyn.path changes', async () => {
    const settings = { path: '/opt/wyn/bin/wyn', configFile: '/p/x.cfg', keywords: { keyword: ['WSTRING'] }, templates: {}, includeDirs: ['inc'] };
    const started = [];
    const stopped = [];
    const listeners = [];
    const vscode = editorStub({
      workspace: {
        getConfiguration: (section) => {
          assert.equal(section, 'wyn');
          return { get: (k) => settings[k] };
        },
        onDidChangeConfiguration: (f) => (listeners.push(f), { dispose() {} }),
      },
    });
    class LanguageClient {
      constructor(id, name, serverOptions, clientOptions) {
        Object.assign(this, { id, serverOptions, clientOptions });
      }
      start() {
        started.push(this);
        return Promise.resolve();
      }
      stop() {
        stopped.push(this);
        return Promise.resolve();
      }
    }
    const ext = loadExtension(vscode, LanguageClient);
    await ext.activate({ subscriptions: [] });
    assert.equal(started.length, 1);
    const c = started[0];
    assert.equal(c.serverOptions.command, '/opt/wyn/bin/wyn');
    assert.deepEqual(c.serverOptions.args, ['lsp']);
    assert.ok(c.clientOptions.documentSelector.some((d) => d.language === 'wyn' && d.scheme === 'file'));
    assert.deepEqual(c.clientOptions.initializationOptions, {
      configFile: '/p/x.cfg',
      keywords: { keyword: ['WSTRING'] },
      templates: {},
      includeDirs: ['inc'],
    });
    // The client reads <id>.trace.server: the id is what wyn.trace.server needs.
    assert.equal(c.id, 'wyn');
    assert.equal(c.clientOptions.synchronize.configurationSection, 'wyn');

    settings.path = '/usr/local/bin/wyn';
    for (const f of listeners) await f({ affectsConfiguration: (s) => s === 'wyn.path' });
    assert.deepEqual(stopped, [c]);
    assert.equal(started.length, 2);
    assert.equal(started[1].serverOptions.command, '/usr/local/bin/wyn');
    for (const f of listeners) await f({ affectsConfiguration: () => false });
    assert.equal(started.length, 2, 'restarted for another setting');
    await ext.deactivate();
    assert.deepEqual(stopped, [c, started[1]]);
  });

  it('moves the cursor to the template\'s mark once the expansion is applied', async () => {
    const changeListeners = new Set();
    const doc = { version: 1 };
    const editor = { document: doc, selection: null, revealRange() {} };
    class Position {
      constructor(line, character) {
        Object.assign(this, { line, character });
      }
    }
    const vscode = editorStub({
      workspace: {
        onDidChangeTextDocument: (f) => (changeListeners.add(f), { dispose: () => changeListeners.delete(f) }),
      },
      window: { activeTextEditor: editor },
      Selection: class {
        constructor(anchor, active) {
          Object.assign(this, { anchor, active });
        }
      },
      Range: class {},
    });
    let client;
    class LanguageClient {
      constructor(id, name, serverOptions, clientOptions) {
        Object.assign(this, { clientOptions });
        this.protocol2CodeConverter = { asPosition: (p) => new Position(p.line, p.character) };
        client = this;
      }
      start() {
        return Promise.resolve();
      }
      stop() {
        return Promise.resolve();
      }
    }
    const ext = loadExtension(vscode, LanguageClient);
    await ext.activate({ subscriptions: [] });
    const run = client.clientOptions.middleware.executeCommand;
    // The edit arrives after the answer: the cursor waits for it.
    const result = await run('wyn.expandTemplate', [], async () => {
      setTimeout(() => {
        doc.version = 2;
        for (const f of changeListeners) f({ document: doc });
      }, 10);
      return { changes: {}, cursor: { line: 1, character: 10 } };
    });
    assert.deepEqual(result.cursor, { line: 1, character: 10 });
    assert.deepEqual(editor.selection.active, new Position(1, 10));
    assert.equal(changeListeners.size, 0, 'the listener is left behind');
    // Other commands, and an expansion that did nothing, leave the cursor.
    editor.selection = null;
    assert.equal(await run('other', [], async () => 7), 7);
    assert.equal(await run('wyn.expandTemplate', [], async () => null), null);
    assert.equal(editor.selection, null);
    await ext.deactivate();
  });

  it('registers the commands the manifest names; restart and show output act on one channel', async () => {
    const vscode = editorStub();
    const clients = [];
    class LanguageClient {
      constructor(id, name, serverOptions, clientOptions) {
        Object.assign(this, { clientOptions, stopped: false });
        clients.push(this);
      }
      start() {
        return Promise.resolve();
      }
      stop() {
        this.stopped = true;
        return Promise.resolve();
      }
    }
    const ext = loadExtension(vscode, LanguageClient);
    const context = { subscriptions: [] };
    await ext.activate(context);
    const contributed = manifest.contributes.commands.map((c) => c.command).sort();
    assert.deepEqual([...vscode.registered.keys()].sort(), contributed);
    assert.ok(context.subscriptions.includes(vscode.output), 'the channel is not disposed with the extension');

    await vscode.registered.get('wyn.restartServer')();
    assert.equal(clients.length, 2);
    assert.ok(clients[0].stopped && !clients[1].stopped);
    // Both clients write to the one channel the command shows.
    for (const c of clients) assert.equal(c.clientOptions.outputChannel, vscode.output);
    // Two restarts at once leave one server running, not two.
    const restart = vscode.registered.get('wyn.restartServer');
    await Promise.all([restart(), restart()]);
    assert.equal(clients.filter((c) => !c.stopped).length, 1);
    vscode.registered.get('wyn.showOutput')();
    assert.equal(vscode.output.shown, 1);
    await ext.deactivate();
    assert.ok(clients.every((c) => c.stopped));
  });

  // wyn.expand asks the server for the code actions at the cursor and
  // carries out its expansion, then moves the cursor to the template's mark.
  const expandCases = [
    {
      name: 'a template at the cursor',
      actions: [
        { title: 'Fix', kind: 'quickfix' },
        { title: 'Expand', command: { command: 'wyn.expandTemplate', arguments: ['A'] } },
      ],
      executed: [['A']],
      cursor: { line: 3, character: 4 },
    },
    {
      name: 'a bare command as the action',
      actions: [{ title: 'Expand', command: 'wyn.expandTemplate', arguments: ['B'] }],
      executed: [['B']],
      cursor: { line: 3, character: 4 },
    },
    { name: 'no template there', actions: [], executed: [], cursor: null, status: true },
    { name: 'no answer', actions: null, executed: [], cursor: null, status: true },
    { name: 'a server that is not running', running: false, asked: false, executed: [], cursor: null, warned: true },
    { name: 'another language', languageId: 'plaintext', asked: false, executed: [], cursor: null },
  ];
  for (const t of expandCases) {
    it(`wyn.expand: ${t.name}`, async () => {
      const changeListeners = new Set();
      const doc = { version: 1, languageId: t.languageId || 'wyn', uri: 'file:///s.wyn' };
      const editor = { document: doc, selection: { active: { line: 2, character: 7 } }, revealRange() {} };
      const said = { warned: false, status: false };
      const vscode = editorStub({
        workspace: {
          onDidChangeTextDocument: (f) => (changeListeners.add(f), { dispose: () => changeListeners.delete(f) }),
        },
        window: {
          activeTextEditor: editor,
          showWarningMessage: () => (said.warned = true),
          setStatusBarMessage: () => (said.status = true),
        },
        Selection: class {
          constructor(anchor, active) {
            Object.assign(this, { anchor, active });
          }
        },
        Range: class {
          constructor(start, end) {
            Object.assign(this, { start, end });
          }
        },
      });
      const requests = [];
      class LanguageClient {
        constructor() {
          this.code2ProtocolConverter = {
            asTextDocumentIdentifier: (d) => ({ uri: d.uri }),
            asRange: (r) => ({ start: r.start, end: r.end }),
          };
          this.protocol2CodeConverter = { asPosition: (p) => ({ ...p }) };
        }
        start() {
          return Promise.resolve();
        }
        stop() {
          return Promise.resolve();
        }
        isRunning() {
          return t.running !== false;
        }
        async sendRequest(method, params) {
          requests.push({ method, params });
          if (method === 'textDocument/codeAction') return t.actions;
          // The server has the edit applied before it answers.
          doc.version++;
          for (const f of changeListeners) f({ document: doc });
          return { changes: {}, cursor: t.cursor };
        }
      }
      const ext = loadExtension(vscode, LanguageClient);
      await ext.activate({ subscriptions: [] });
      await vscode.registered.get('wyn.expand')();
      const asked = requests.filter((r) => r.method === 'textDocument/codeAction');
      if (t.asked === false) {
        assert.equal(asked.length, 0);
      } else {
        assert.equal(asked.length, 1);
        assert.deepEqual(asked[0].params.textDocument, { uri: 'file:///s.wyn' });
        assert.deepEqual(asked[0].params.range.start, { line: 2, character: 7 });
      }
      const executed = requests.filter((r) => r.method === 'workspace/executeCommand');
      assert.deepEqual(executed.map((r) => r.params.arguments), t.executed);
      for (const r of executed) assert.equal(r.params.command, 'wyn.expandTemplate');
      if (t.cursor) assert.deepEqual(editor.selection.active, t.cursor);
      else assert.deepEqual(editor.selection.active, { line: 2, character: 7 });
      assert.equal(said.warned, !!t.warned);
      assert.equal(said.status, !!t.status);
      assert.equal(changeListeners.size, 0);
      await ext.deactivate();
    });
  }
});
