#!/usr/bin/env node
// A language-server session on stdout, for feeding a server through a
// pipe: initialize, then each SCRIPT opened and its semantic tokens asked
// for, then shutdown and exit. Written in pieces of an odd size, each
// after the last has gone, so that the server's reads start and end at
// unaligned places, across the end of any buffer it keeps.
//
//   node scripts/lsp-pieces.js SCRIPT... | wyn lsp >OUT
//   node scripts/lsp-pieces.js --answers OUT
//
// The second form prints the answers in a server's output OUT, one a line:
// what the session asked for, without the notifications, whose number
// depends on how long the server waited for the next piece.
'use strict';

const fs = require('node:fs');

if (process.argv[2] === '--answers') {
  const out = fs.readFileSync(process.argv[3]);
  for (let at = 0; at < out.length; ) {
    const head = out.indexOf('\r\n\r\n', at);
    if (head < 0) break;
    const length = Number(/Content-Length: (\d+)/i.exec(out.subarray(at, head).toString())[1]);
    const body = out.subarray(head + 4, head + 4 + length).toString();
    // Written at once: a pipe takes console.log's writes after the exit below.
    if ('id' in JSON.parse(body)) fs.writeSync(1, `${body}\n`);
    at = head + 4 + length;
  }
  process.exit(0);
}

const messages = [
  { jsonrpc: '2.0', id: 0, method: 'initialize', params: { processId: null, rootUri: null, capabilities: {} } },
  { jsonrpc: '2.0', method: 'initialized', params: {} },
];
process.argv.slice(2).forEach((file, i) => {
  const uri = `untitled:/${i}.wyn`;
  const text = fs.readFileSync(file, 'utf8');
  messages.push({ jsonrpc: '2.0', method: 'textDocument/didOpen', params: { textDocument: { uri, languageId: 'wyn', version: 1, text } } });
  messages.push({ jsonrpc: '2.0', id: i + 1, method: 'textDocument/semanticTokens/full', params: { textDocument: { uri } } });
});
messages.push({ jsonrpc: '2.0', id: 'end', method: 'shutdown' }, { jsonrpc: '2.0', method: 'exit' });
const bytes = Buffer.concat(
  messages.map((m) => {
    const body = Buffer.from(JSON.stringify(m));
    return Buffer.concat([Buffer.from(`Content-Length: ${body.length}\r\n\r\n`), body]);
  }),
);

const piece = 7777;
let at = 0;
(function next() {
  if (at >= bytes.length) return;
  const end = Math.min(at + piece, bytes.length);
  const chunk = bytes.subarray(at, end);
  at = end;
  process.stdout.write(chunk, next);
})();
