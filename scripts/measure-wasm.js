#!/usr/bin/env node
// The language server's two figures that decide how typing feels, for each
// server command given, over the same pipes and JSON-RPC package an editor
// uses: didOpen + semanticTokens/full of a script, and a one-character
// didChange + semanticTokens/full/delta in its middle.
//
//   node scripts/measure-wasm.js SCRIPT [--opens N] [--edits N] -- NAME=COMMAND...
//
// e.g. -- "native=build/linux/wyn lsp" "wasm=node build/wasm/wyn.js lsp".
// Prints one markdown row per server and figure: median, the range of the
// opens (least to most) and the keystrokes' 99th percentile. Needs `npm ci`
// in tests/lsp. scripts/measure-wasm.sh runs it with the tool's other
// figures.
'use strict';

const fs = require('node:fs');
const { argValue, startServer, now, stats, typeAndTakeBack } = require('./lsp-measure');

const OPENS = argValue('--opens', 10);
const EDITS = argValue('--edits', 200);
const text = fs.readFileSync(process.argv[2], 'utf8');
const servers = process.argv.slice(process.argv.indexOf('--') + 1).map((arg) => {
  const eq = arg.indexOf('=');
  return { name: arg.slice(0, eq), command: arg.slice(eq + 1) };
});

// Times of opening TEXT afresh and asking for all its tokens, then of
// typing a character in its middle and taking it back, each followed by
// the tokens' change.
async function measure(conn) {
  const opens = [];
  let uri;
  let prev;
  for (let i = 0; i < OPENS; i++) {
    if (uri) conn.sendNotification('textDocument/didClose', { textDocument: { uri } });
    uri = `untitled:/measure/${i}.wyn`;
    const t0 = now();
    conn.sendNotification('textDocument/didOpen', { textDocument: { uri, languageId: 'wyn', version: 1, text } });
    prev = await conn.sendRequest('textDocument/semanticTokens/full', { textDocument: { uri } });
    opens.push(now() - t0);
  }
  const { times: keys } = await typeAndTakeBack(conn, uri, text, prev, EDITS);
  return { opens: stats(opens), keys: stats(keys) };
}

async function main() {
  const fmt = (x) => (x < 1 ? x.toFixed(3) : x.toFixed(1));
  const lineCount = text.split('\n').length - 1;
  console.log('| server | what | n | median ms | range / p99 ms |');
  console.log('|---|---|---|---|---|');
  for (const { name, command } of servers) {
    const { conn } = await startServer({ rootUri: null, capabilities: {} }, 'inherit', command);
    const { opens, keys } = await measure(conn);
    await conn.sendRequest('shutdown');
    conn.sendNotification('exit');
    conn.dispose();
    console.log(
      `| ${name} | didOpen + semanticTokens/full, ${lineCount} lines | ${opens.n} | ${fmt(opens.median)} | ` +
        `${fmt(opens.min)}–${fmt(opens.max)} |`,
    );
    console.log(
      `| ${name} | one-char didChange + semanticTokens/full/delta | ${keys.n} | ${fmt(keys.median)} | ` +
        `p99 ${fmt(keys.p99)} |`,
    );
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
