// The VS Code extension without VS Code: its manifest and language
// configuration bind the wyn language, and extension.js, run against
// stand-ins of the editor's API and of the language client, starts
// `wyn.path lsp` for wyn documents with the wyn settings (or, with wyn.path
// empty, the server it chooses, down to the WebAssembly one, which is run
// for real when it is built), restarts the server when wyn.path changes or
// on its command, shows the server's output, and expands the template at the
// cursor on its command. web-extension.js, the browser entry, does the same
// with the server in a web worker.
'use strict';

const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const Module = require('node:module');
const path = require('node:path');
const { spawn } = require('node:child_process');
const os = require('node:os');
const rpc = require('vscode-jsonrpc/node');
const { root, example } = require('./client.js');

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

  // Which server runs, given the setting, the system and the files there.
  const choices = [
    { name: 'wyn.path wins over everything', setting: '/opt/wyn', files: ['/e/server/linux-x64/wyn', '/bin/wyn', '/e/server/wasm/wyn.js'], want: { how: 'setting', command: '/opt/wyn' } },
    { name: 'a name as wyn.path is kept as given', setting: 'wyn', want: { how: 'setting', command: 'wyn' } },
    { name: 'a blank wyn.path is no setting', setting: '  ', files: ['/e/server/wasm/wyn.js'], want: { how: 'wasm', module: '/e/server/wasm/wyn.js' } },
    { name: 'the one carried for this system', files: ['/e/server/linux-x64/wyn', '/bin/wyn'], want: { how: 'bundled', command: '/e/server/linux-x64/wyn' } },
    { name: 'one carried for another system is not run', files: ['/e/server/linux-arm64/wyn', '/e/server/wasm/wyn.js'], want: { how: 'wasm', module: '/e/server/wasm/wyn.js' } },
    { name: 'wyn on PATH before the WebAssembly one', search: '/usr/bin::/bin', files: ['/bin/wyn', '/e/server/wasm/wyn.js'], want: { how: 'path', command: '/bin/wyn' } },
    { name: 'a file on PATH that is no program', search: '/bin', files: ['/e/server/wasm/wyn.js'], plain: ['/bin/wyn'], want: { how: 'wasm', module: '/e/server/wasm/wyn.js' } },
    { name: 'an empty PATH entry is not the current folder', search: ':', files: ['wyn'], want: null },
    { name: 'nothing at all', want: null },
    { name: 'Windows: wyn.exe carried along', platform: 'win32', arch: 'ia32', dir: 'C:\\e', files: ['C:\\e\\server\\win32-ia32\\wyn.exe'], want: { how: 'bundled', command: 'C:\\e\\server\\win32-ia32\\wyn.exe' } },
    { name: 'Windows: a file without an ending is no program', platform: 'win32', dir: 'C:\\e', search: 'C:\\tools', files: ['C:\\tools\\wyn'], want: null },
    { name: 'Windows: PATH with PATHEXT', platform: 'win32', dir: 'C:\\e', search: 'C:\\x;C:\\tools', pathext: '.COM;.EXE', files: ['C:\\tools\\wyn.EXE'], want: { how: 'path', command: 'C:\\tools\\wyn.EXE' } },
  ];
  for (const t of choices) {
    it(`server choice: ${t.name}`, () => {
      const { chooseServer } = require(path.join(dir, 'choose-server.js'));
      const files = new Set(t.files || []);
      const plain = new Set(t.plain || []);
      const got = chooseServer({
        setting: t.setting ?? '',
        dir: t.dir || '/e',
        platform: t.platform || 'linux',
        arch: t.arch || 'x64',
        search: t.search ?? '/bin',
        pathext: t.pathext,
        isProgram: (f) => files.has(f),
        isFile: (f) => files.has(f) || plain.has(f),
      });
      if (t.want === null) return assert.equal(got, null);
      const { label, ...rest } = got;
      assert.deepEqual(rest, t.want);
      assert.ok(label.includes(t.want.command || t.want.module), label);
    });
  }

  // Activates the desktop entry in an extension folder DIR with an empty
  // wyn.path and an empty PATH; returns the clients made and the stub.
  async function activateIn(extDir, window = {}) {
    const clients = [];
    const vscode = editorStub({ workspace: { getConfiguration: () => ({ get: () => undefined }) }, window });
    class LanguageClient {
      constructor(id, name, serverOptions, clientOptions) {
        Object.assign(this, { id, serverOptions, clientOptions });
        clients.push(this);
      }
      start() {
        return Promise.resolve();
      }
      stop() {
        return Promise.resolve();
      }
    }
    const ext = loadExtension(vscode, LanguageClient);
    const saved = process.env.PATH;
    process.env.PATH = path.join(extDir, 'nothing');
    try {
      await ext.activate({ subscriptions: [], extensionPath: extDir });
    } finally {
      process.env.PATH = saved;
    }
    return { clients, vscode, ext };
  }

  it('with no server anywhere says so and starts nothing', async () => {
    const extDir = fs.mkdtempSync(path.join(os.tmpdir(), 'wyn-ext-'));
    try {
      const errors = [];
      const { clients, vscode, ext } = await activateIn(extDir, { showErrorMessage: (m) => errors.push(m) });
      assert.equal(clients.length, 0);
      assert.match(errors.join('\n'), /wyn\.path/);
      assert.match(vscode.output.lines.join('\n'), /No WYN language server/);
      await ext.deactivate();
    } finally {
      fs.rmSync(extDir, { recursive: true, force: true });
    }
  });

  // The WebAssembly server as the desktop entry starts it: the editor's own
  // program as Node, the launcher and `lsp`, with the client's --stdio. It
  // is run for real when build/wasm holds it.
  const wasm = path.join(root, 'build', 'wasm');
  const built = fs.existsSync(path.join(wasm, 'wyn.js')) && fs.existsSync(path.join(wasm, 'wyn.wasm'));
  const skipWasm = { skip: !built && 'build/wasm is not built' };
  it("the WebAssembly server it carries runs in the editor's Node and serves a script", skipWasm, async () => {
    const extDir = fs.mkdtempSync(path.join(os.tmpdir(), 'wyn-ext-'));
    try {
      fs.mkdirSync(path.join(extDir, 'server', 'wasm'), { recursive: true });
      for (const f of ['wyn.js', 'wyn.wasm']) {
        fs.copyFileSync(path.join(wasm, f), path.join(extDir, 'server', 'wasm', f));
      }
      const { clients, vscode, ext } = await activateIn(extDir);
      assert.equal(clients.length, 1);
      const { command, args, options } = clients[0].serverOptions;
      assert.equal(command, process.execPath);
      assert.deepEqual(args, [path.join(extDir, 'server', 'wasm', 'wyn.js'), 'lsp']);
      assert.equal(options.env.ELECTRON_RUN_AS_NODE, '1');
      assert.match(vscode.output.lines.join('\n'), /WebAssembly/);
      await ext.deactivate();

      const proc = spawn(command, [...args, '--stdio'], { ...options, cwd: extDir, stdio: ['pipe', 'pipe', 'pipe'] });
      const exited = new Promise((resolve) => proc.on('exit', (code) => resolve(code)));
      const conn = rpc.createMessageConnection(
        new rpc.StreamMessageReader(proc.stdout),
        new rpc.StreamMessageWriter(proc.stdin),
      );
      conn.onNotification(() => {});
      conn.onRequest(() => null);
      conn.listen();
      try {
        await conn.sendRequest('initialize', { processId: process.pid, rootUri: null, capabilities: {} });
        conn.sendNotification('initialized', {});
        const uri = 'file:///tmp/wyn-ext-example.wyn';
        const text = example(fs.readdirSync(path.join(root, 'examples')).find((f) => f.endsWith('.wyn')));
        conn.sendNotification('textDocument/didOpen', { textDocument: { uri, languageId: 'wyn', version: 1, text } });
        const symbols = await conn.sendRequest('textDocument/documentSymbol', { textDocument: { uri } });
        assert.ok(Array.isArray(symbols), 'no outline');
        await conn.sendRequest('shutdown');
        conn.sendNotification('exit');
        assert.equal(await exited, 0);
      } finally {
        conn.dispose();
        proc.kill();
      }
    } finally {
      fs.rmSync(extDir, { recursive: true, force: true });
    }
  });

  it('browser entry: the server in a web worker the package carries, the same commands', async () => {
    const workers = [];
    globalThis.Worker = class {
      constructor(url) {
        Object.assign(this, { url, terminated: false });
        workers.push(this);
      }
      terminate() {
        this.terminated = true;
      }
    };
    const clients = [];
    let failStart = false;
    const errors = [];
    const vscode = editorStub({
      window: { showErrorMessage: (m) => errors.push(m) },
      Uri: { joinPath: (base, ...parts) => ({ toString: () => [base, ...parts].join('/') }) },
    });
    class LanguageClient {
      constructor(id, name, clientOptions, worker) {
        Object.assign(this, { id, clientOptions, worker, stopped: false });
        clients.push(this);
      }
      start() {
        return failStart ? Promise.reject(new Error('no wasm')) : Promise.resolve();
      }
      stop() {
        this.stopped = true;
        return Promise.resolve();
      }
    }
    try {
      const ext = loadExtension(vscode, LanguageClient, 'web-extension.js');
      await ext.activate({ subscriptions: [], extensionUri: 'ext:/wyn' });
      assert.equal(clients.length, 1);
      const c = clients[0];
      assert.equal(c.id, 'wyn');
      assert.equal(c.worker, workers[0]);
      assert.equal(workers[0].url, 'ext:/wyn/server/web/wyn-worker.js');
      // Scripts in the browser come from file systems of any scheme.
      assert.deepEqual(c.clientOptions.documentSelector, [{ language: 'wyn' }]);
      assert.equal(c.clientOptions.synchronize.configurationSection, 'wyn');
      assert.match(vscode.output.lines.join('\n'), /web worker/);
      const contributed = manifest.contributes.commands.map((x) => x.command).sort();
      assert.deepEqual([...vscode.registered.keys()].sort(), contributed);
      // A restart ends the old worker with its client.
      await vscode.registered.get('wyn.restartServer')();
      assert.ok(c.stopped && workers[0].terminated);
      assert.equal(workers.length, 2);
      assert.ok(!workers[1].terminated);
      // A worker that cannot start is ended, and the failure is said.
      failStart = true;
      await vscode.registered.get('wyn.restartServer')();
      assert.ok(workers[2].terminated);
      assert.match(errors.join('\n'), /web worker: no wasm/);
      await ext.deactivate();
      assert.ok(workers.every((w) => w.terminated));
    } finally {
      delete globalThis.Worker;
    }
  });
});
