// What the extension does the same way on the desktop and in the browser:
// the wyn settings handed to the server, the template expansion command, the
// output channel and the restarts. Each entry (extension.js for the desktop,
// web-extension.js for the browser) supplies only how its language client
// and server are made.
'use strict';

const vscode = require('vscode');

const EXPAND = 'wyn.expandTemplate';

// The wyn section of the settings as the server takes it.
function serverSettings() {
  const cfg = vscode.workspace.getConfiguration('wyn');
  return {
    configFile: cfg.get('configFile'),
    keywords: cfg.get('keywords'),
    templates: cfg.get('templates'),
    includeDirs: cfg.get('includeDirs'),
  };
}

// The extension's activate and deactivate around CREATE(clientOptions,
// output), which makes a language client for the options (its document
// selector left to the entry) and returns { client, failed(error) }, or
// null when there is no server to run (it has said why). RESTART_ON names
// the settings whose change restarts the server.
function createExtension({ create, documentSelector, restartOn = [] }) {
  let client;
  // One channel for the life of the extension: a restart makes a new
  // client, and the server's log should stay in one place across it.
  let output;

  // The template expansion answers its edit and where the template's cursor
  // mark is once the edit is made (result.cursor). The server asks for the
  // edit to be applied before it answers; the cursor moves once the
  // document has taken it.
  async function expandThenMoveCursor(command, args, next) {
    const editor = vscode.window.activeTextEditor;
    if (command !== EXPAND || !editor) return next(command, args);
    const doc = editor.document;
    const version = doc.version;
    let changed;
    const applied = new Promise((resolve) => {
      changed = vscode.workspace.onDidChangeTextDocument((e) => {
        if (e.document === doc) resolve();
      });
    });
    try {
      const result = await next(command, args);
      if (!result || !result.cursor) return result;
      if (doc.version === version) await Promise.race([applied, new Promise((r) => setTimeout(r, 1000))]);
      const at = client.protocol2CodeConverter.asPosition(result.cursor);
      editor.selection = new vscode.Selection(at, at);
      editor.revealRange(new vscode.Range(at, at));
      return result;
    } finally {
      changed.dispose();
    }
  }

  // Expands the template named by the word at the cursor, as the plug-in's
  // expansion key does: the server offers the expansion as a code action
  // for the word, and carrying it out edits the text and moves the cursor
  // to the template's mark.
  async function expand() {
    const editor = vscode.window.activeTextEditor;
    if (!editor || editor.document.languageId !== 'wyn') return;
    if (!client || !client.isRunning()) {
      vscode.window.showWarningMessage('The WYN language server is not running (see the WYN output).');
      return;
    }
    const c2p = client.code2ProtocolConverter;
    const at = editor.selection.active;
    const actions = await client.sendRequest('textDocument/codeAction', {
      textDocument: c2p.asTextDocumentIdentifier(editor.document),
      range: c2p.asRange(new vscode.Range(at, at)),
      context: { diagnostics: [] },
    });
    for (const action of actions || []) {
      const cmd = action && typeof action.command === 'object' ? action.command : action;
      if (!cmd || cmd.command !== EXPAND) continue;
      const run = (command, args) => client.sendRequest('workspace/executeCommand', { command, arguments: args });
      await expandThenMoveCursor(EXPAND, cmd.arguments, run);
      return;
    }
    vscode.window.setStatusBarMessage('WYN: no template at the cursor', 3000);
  }

  async function start() {
    const made = create(
      {
        documentSelector,
        initializationOptions: serverSettings(),
        synchronize: { configurationSection: 'wyn' },
        middleware: { executeCommand: expandThenMoveCursor },
        outputChannel: output,
      },
      output,
    );
    if (!made) return;
    client = made.client;
    try {
      await client.start();
    } catch (e) {
      made.failed(e);
    }
  }

  async function stop() {
    if (client) {
      const old = client;
      client = undefined;
      await old.stop().catch(() => {});
    }
  }

  // Restarts run one after another: two at once would otherwise both start
  // a server and lose the first client, and its server, to the second.
  let restarting = Promise.resolve();
  function restart() {
    restarting = restarting.then(async () => {
      await stop();
      await start();
    });
    return restarting;
  }

  function activate(context) {
    output = vscode.window.createOutputChannel('WYN');
    context.subscriptions.push(
      output,
      vscode.workspace.onDidChangeConfiguration(async (e) => {
        if (restartOn.some((s) => e.affectsConfiguration(s))) await restart();
      }),
      vscode.commands.registerCommand('wyn.expand', expand),
      vscode.commands.registerCommand('wyn.restartServer', restart),
      vscode.commands.registerCommand('wyn.showOutput', () => output.show(true)),
    );
    return start();
  }

  function deactivate() {
    return stop();
  }

  return { activate, deactivate };
}

module.exports = { createExtension };
