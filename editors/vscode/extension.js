// Starts `wyn lsp` for .wyn documents and hands everything else to it: the
// colours, completion, templates, indent and routines all come from the
// plug-in through the server. The server is restarted when wyn.path changes;
// the other wyn.* settings go to it as they are.
'use strict';

const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');

let client;

// The wyn section of the settings as the server takes it.
function serverSettings() {
  const cfg = vscode.workspace.getConfiguration('wyn');
  return { configFile: cfg.get('configFile'), keywords: cfg.get('keywords'), templates: cfg.get('templates') };
}

// The template expansion answers its edit and where the template's cursor
// mark is once the edit is made (result.cursor). The server asks for the
// edit to be applied before it answers; the cursor moves once the document
// has taken it.
async function expandThenMoveCursor(command, args, next) {
  const editor = vscode.window.activeTextEditor;
  if (command !== 'wyn.expandTemplate' || !editor) return next(command, args);
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

async function start() {
  const command = vscode.workspace.getConfiguration('wyn').get('path') || 'wyn';
  client = new LanguageClient(
    'wyn',
    'WYN',
    { command, args: ['lsp'], transport: TransportKind.stdio },
    {
      documentSelector: [
        { scheme: 'file', language: 'wyn' },
        { scheme: 'untitled', language: 'wyn' },
      ],
      initializationOptions: serverSettings(),
      synchronize: { configurationSection: 'wyn' },
      middleware: { executeCommand: expandThenMoveCursor },
    },
  );
  try {
    await client.start();
  } catch (e) {
    vscode.window.showErrorMessage(`Could not start "${command} lsp" (setting wyn.path): ${e.message || e}`);
  }
}

async function stop() {
  if (client) {
    const old = client;
    client = undefined;
    await old.stop().catch(() => {});
  }
}

function activate(context) {
  context.subscriptions.push(
    vscode.workspace.onDidChangeConfiguration(async (e) => {
      if (e.affectsConfiguration('wyn.path')) {
        await stop();
        await start();
      }
    }),
  );
  return start();
}

function deactivate() {
  return stop();
}

module.exports = { activate, deactivate };
