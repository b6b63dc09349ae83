// What the measuring scripts of `wyn lsp` share: their arguments, the
// examples they build scripts from, and a server started over pipes with
// the same JSON-RPC package the common editors' clients use. WYN_LSP names
// the server command (default: build/linux/wyn lsp). Needs `npm ci` in
// tests/lsp for that package.
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const { spawn } = require('node:child_process');

const root = path.resolve(__dirname, '..');
const rpc = require(path.join(root, 'tests', 'lsp', 'node_modules', 'vscode-jsonrpc', 'node'));

// The number after NAME on the command line, or DFLT.
function argValue(name, dflt) {
  const i = process.argv.indexOf(name);
  return i > 0 ? Number(process.argv[i + 1]) : dflt;
}

// The text of each example script.
function exampleTexts() {
  return fs
    .readdirSync(path.join(root, 'examples'))
    .filter((n) => n.endsWith('.wyn'))
    .map((n) => fs.readFileSync(path.join(root, 'examples', n), 'utf8'));
}

// The server, started and initialized with PARAMS (processId added); its
// requests are answered with null and its notifications dropped. STDERR is
// what becomes of the server's log ('inherit' or 'ignore'); COMMAND, when
// given, is the server command instead of WYN_LSP's.
async function startServer(params, stderr = 'inherit', command = process.env.WYN_LSP) {
  const cmd = (command || `${path.join(root, 'build', 'linux', 'wyn')} lsp`).split(/\s+/).filter(Boolean);
  const proc = spawn(cmd[0], cmd.slice(1), { stdio: ['pipe', 'pipe', stderr] });
  const conn = rpc.createMessageConnection(new rpc.StreamMessageReader(proc.stdout), new rpc.StreamMessageWriter(proc.stdin));
  conn.onRequest(() => null);
  conn.onNotification(() => {});
  conn.listen();
  await conn.sendRequest('initialize', { processId: process.pid, ...params });
  conn.sendNotification('initialized', {});
  return { proc, conn };
}

const now = () => Number(process.hrtime.bigint()) / 1e6;

// The count, median, 99th percentile, least and most of the times MS.
function stats(ms) {
  const s = [...ms].sort((a, b) => a - b);
  const q = (p) => s[Math.min(s.length - 1, Math.ceil(p * s.length) - 1)];
  return { n: s.length, median: q(0.5), p99: q(0.99), min: s[0], max: s[s.length - 1] };
}

// The line and character of the middle of TEXT.
function middle(text) {
  const lines = text.split('\n');
  const line = Math.floor(lines.length / 2);
  return { line, character: Math.floor(lines[line].length / 2) };
}

// Types a character in the middle of the open document URI (text TEXT) and
// takes it back, COUNT times in all, each followed by the tokens' change
// since PREV (an answer with a resultId), so the text stays the same size.
// The time of each, and the last answer.
async function typeAndTakeBack(conn, uri, text, prev, count) {
  const at = middle(text);
  const times = [];
  for (let i = 0; i < count; i++) {
    const change =
      i % 2 === 0
        ? { range: { start: at, end: at }, text: 'x' }
        : { range: { start: at, end: { line: at.line, character: at.character + 1 } }, text: '' };
    const t0 = now();
    conn.sendNotification('textDocument/didChange', { textDocument: { uri, version: i + 2 }, contentChanges: [change] });
    prev = await conn.sendRequest('textDocument/semanticTokens/full/delta', {
      textDocument: { uri },
      previousResultId: prev.resultId,
    });
    times.push(now() - t0);
  }
  return { times, last: prev };
}

module.exports = { root, argValue, exampleTexts, startServer, now, stats, middle, typeAndTakeBack };
