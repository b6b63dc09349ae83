// The VS Code extension without VS Code: its manifest and language
// configuration say what the issue asks, and extension.js, run against
// stand-ins of the editor's API and of the language client, starts
// `wyn.path lsp` for wyn documents with the wyn settings, and restarts the
// server when wyn.path changes.
'use strict';

const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const Module = require('node:module');
const path = require('node:path');
const { root } = require('./client.js');

const dir = path.join(root, 'editors', 'vscode');
const manifest = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));

// extension.js with the editor's API and the language client stubbed.
function loadExtension(vscode, LanguageClient) {
  const stubs = { vscode, 'vscode-languageclient/node': { LanguageClient, TransportKind: { stdio: 0 } } };
  const load = Module._load;
  Module._load = function (request, ...rest) {
    return request in stubs ? stubs[request] : load.call(this, request, ...rest);
  };
  try {
    const file = path.join(dir, 'extension.js');
    delete require.cache[file];
    return require(file);
  } finally {
    Module._load = load;
  }
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
    assert.equal(props['wyn.path'].default, 'wyn');
    assert.ok(manifest.dependencies['vscode-languageclient']);
    const conf = JSON.parse(fs.readFileSync(path.join(dir, lang.configuration), 'utf8'));
    assert.equal(conf.comments.lineComment, '//');
    assert.deepEqual(conf.comments.blockComment, ['/*', '*/']);
    assert.ok(conf.brackets.some(([o, c]) => o === '(' && c === ')'));
    for (const q of ['"', "'"]) assert.ok(conf.autoClosingPairs.some((p) => p.open === q && p.close === q), `auto-closed ${q}`);
  });

  it('starts wyn.path lsp with the settings, and again when wyn.path changes', async () => {
    const settings = { path: '/opt/wyn/bin/wyn', configFile: '/p/x.cfg', keywords: { keyword: ['WSTRING'] }, templates: {} };
    const started = [];
    const stopped = [];
    const listeners = [];
    const vscode = {
      workspace: {
        getConfiguration: (section) => {
          assert.equal(section, 'wyn');
          return { get: (k) => settings[k] };
        },
        onDidChangeConfiguration: (f) => (listeners.push(f), { dispose() {} }),
      },
      window: { showErrorMessage: (m) => assert.fail(m) },
    };
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
    assert.deepEqual(c.clientOptions.initializationOptions, { configFile: '/p/x.cfg', keywords: { keyword: ['WSTRING'] }, templates: {} });
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
    const vscode = {
      workspace: {
        getConfiguration: () => ({ get: () => undefined }),
        onDidChangeConfiguration: () => ({ dispose() {} }),
        onDidChangeTextDocument: (f) => (changeListeners.add(f), { dispose: () => changeListeners.delete(f) }),
      },
      window: { activeTextEditor: editor, showErrorMessage: (m) => assert.fail(m) },
      Selection: class {
        constructor(anchor, active) {
          Object.assign(this, { anchor, active });
        }
      },
      Range: class {},
    };
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
});
