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
