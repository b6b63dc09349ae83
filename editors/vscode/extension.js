// The desktop extension: runs a wyn language server for .wyn documents and
// hands everything else to it: the colours, completion, templates, indent
// and routines all come from the plug-in through the server. Which server
// is choose-server.js's choice (wyn.path, a native one carried along, wyn
// on PATH, else the WebAssembly one in the editor's own Node); it is chosen
// again when wyn.path changes or on the restart command, and the other wyn.*
// settings go to it as they are. Built into dist/extension.js (npm run
// build) with the language client inside, so the package carries one file
// of code.
'use strict';

const fs = require('fs');
const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');
const { chooseServer } = require('./choose-server.js');
const { createExtension } = require('./common.js');

let dir;

function isFile(file) {
  try {
    return fs.statSync(file).isFile();
  } catch {
    return false;
  }
}

function isProgram(file) {
  if (!isFile(file)) return false;
  if (process.platform === 'win32') return true;
  try {
    fs.accessSync(file, fs.constants.X_OK);
    return true;
  } catch {
    return false;
  }
}

// The WebAssembly launcher run by the extension host's own Node: its
// program, as Node when it is the editor's (ELECTRON_RUN_AS_NODE). It is
// started as a program, not as a module the client forks: a forked module
// is handed a --clientProcessId argument `wyn lsp` does not take.
function wasmServer(module) {
  return {
    command: process.execPath,
    args: [module, 'lsp'],
    options: { env: { ...process.env, ELECTRON_RUN_AS_NODE: '1' } },
  };
}

function create(clientOptions, output) {
  const server = chooseServer({
    setting: vscode.workspace.getConfiguration('wyn').get('path'),
    dir,
    platform: process.platform,
    arch: process.arch,
    search: process.env.PATH,
    pathext: process.env.PATHEXT,
    isProgram,
    isFile,
  });
  if (!server) {
    const why = 'No WYN language server: set wyn.path to the wyn program, or put wyn on PATH.';
    output.appendLine(why);
    vscode.window.showErrorMessage(why);
    return null;
  }
  output.appendLine(`Language server: ${server.label}`);
  const serverOptions = server.module ? wasmServer(server.module) : { command: server.command, args: ['lsp'] };
  serverOptions.transport = TransportKind.stdio;
  // The id 'wyn' is what makes the client read wyn.trace.server.
  const client = new LanguageClient('wyn', 'WYN', serverOptions, clientOptions);
  const failed = (e) => {
    const setting = server.how === 'setting' ? ' (setting wyn.path)' : '';
    vscode.window.showErrorMessage(
      `Could not start "${server.command || server.module} lsp"${setting}: ${e.message || e}`,
    );
  };
  return { client, failed };
}

const extension = createExtension({
  create,
  documentSelector: [
    { scheme: 'file', language: 'wyn' },
    { scheme: 'untitled', language: 'wyn' },
  ],
  restartOn: ['wyn.path'],
});

function activate(context) {
  dir = context.extensionPath;
  return extension.activate(context);
}

module.exports = { activate, deactivate: extension.deactivate };
