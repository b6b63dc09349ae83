// The browser extension (vscode.dev and other editors in a web page): the
// same commands and settings as the desktop one, with the server as the
// WebAssembly build in a web worker the package carries
// (server/web/wyn-worker.js). The worker speaks the protocol's messages as
// posted objects, which is what the browser language client reads and
// writes. The worker has no disk: it serves the text of the open scripts,
// and their #include files are not read. Built into dist/web.js.
'use strict';

const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/browser');
const { createExtension } = require('./common.js');

let workerUri;

function create(clientOptions, output) {
  output.appendLine(`Language server: ${workerUri.toString(true)} (WebAssembly, in a web worker)`);
  const worker = new Worker(workerUri.toString(true));
  const client = new LanguageClient('wyn', 'WYN', clientOptions, worker);
  // The client leaves its worker running when it stops; a restart makes a
  // new one, so the old one ends with its client.
  const stop = client.stop.bind(client);
  client.stop = (...args) => stop(...args).finally(() => worker.terminate());
  const failed = (e) => {
    worker.terminate();
    vscode.window.showErrorMessage(`Could not start the WYN language server in a web worker: ${e.message || e}`);
  };
  return { client, failed };
}

// Scripts in the browser live in virtual file systems of any scheme.
const extension = createExtension({ create, documentSelector: [{ language: 'wyn' }] });

function activate(context) {
  workerUri = vscode.Uri.joinPath(context.extensionUri, 'server', 'web', 'wyn-worker.js');
  return extension.activate(context);
}

module.exports = { activate, deactivate: extension.deactivate };
