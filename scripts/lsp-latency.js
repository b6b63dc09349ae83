#!/usr/bin/env node
// Client-side latency of `wyn lsp` over pipes, as an editor feels it: each
// figure is the time from sending a message to having the answer, through
// the same JSON-RPC package the common editors' clients use.
//
//   node scripts/lsp-latency.js [--edits N] [--docs N]
//
// Measures, on the largest example and on a 20,000-line script built from the
// examples: didOpen + semanticTokens/full, a one-character didChange +
// semanticTokens/full/delta round trip, completion and documentSymbol (median
// and p99); then the server's peak resident memory with many 20,000-line
// documents open. WYN_LSP names the server command (default: build/linux/wyn
// lsp). Needs `npm ci` in tests/lsp for the JSON-RPC package.
'use strict';

const fs = require('node:fs');
const { argValue, exampleTexts, startServer, now, stats, middle, typeAndTakeBack } = require('./lsp-measure');

const EDITS = argValue('--edits', 1000);
const DOCS = argValue('--docs', 100);

const examples = exampleTexts();
const largest = examples.reduce((a, b) => (b.length > a.length ? b : a));

// LINES lines of the examples one after the other, each copy's routines
// renamed so that they stay distinct.
function generated(lines, salt = 0) {
  const out = [];
  for (let copy = 0; out.length < lines; copy++) {
    for (const text of examples) {
      for (const l of text.split('\n')) out.push(l.replace(/^function (\w+)/, `function $1_${salt}_${copy}`));
    }
  }
  return `${out.slice(0, lines).join('\n')}\n`;
}

function start() {
  return startServer({
    rootUri: null,
    capabilities: { textDocument: { completion: { completionItem: { snippetSupport: true } } } },
  });
}

async function measure(name, text, { conn }, rows) {
  const rounds = 30;
  let uri;
  const open = [];
  for (let i = 0; i < rounds; i++) {
    uri = `untitled:/${name}/${i}.wyn`;
    const t0 = now();
    conn.sendNotification('textDocument/didOpen', { textDocument: { uri, languageId: 'wyn', version: 1, text } });
    await conn.sendRequest('textDocument/semanticTokens/full', { textDocument: { uri } });
    open.push(now() - t0);
    if (i < rounds - 1) conn.sendNotification('textDocument/didClose', { textDocument: { uri } });
  }
  const prev = await conn.sendRequest('textDocument/semanticTokens/full', { textDocument: { uri } });
  const kib = (n) => `${Math.round(n / 1024)} KiB`;
  const what = `didOpen (${kib(JSON.stringify(text).length)}) + semanticTokens/full (${prev.data.length / 5} tokens, ${kib(JSON.stringify(prev).length)})`;
  rows.push([name, what, stats(open), 5]);

  // The same split in two, and the share of this client's own JSON work.
  const opened = [];
  const tokens = [];
  const json = [];
  const reply = JSON.stringify({ jsonrpc: '2.0', id: 1, result: prev });
  for (let i = 0; i < rounds; i++) {
    const u = `untitled:/${name}/split-${i}.wyn`;
    let t0 = now();
    conn.sendNotification('textDocument/didOpen', { textDocument: { uri: u, languageId: 'wyn', version: 1, text } });
    await conn.sendRequest('textDocument/hover', { textDocument: { uri: u }, position: { line: 0, character: 0 } });
    opened.push(now() - t0);
    t0 = now();
    await conn.sendRequest('textDocument/semanticTokens/full', { textDocument: { uri: u } });
    tokens.push(now() - t0);
    conn.sendNotification('textDocument/didClose', { textDocument: { uri: u } });
    t0 = now();
    JSON.stringify({ jsonrpc: '2.0', method: 'textDocument/didOpen', params: { textDocument: { uri: u, text } } });
    JSON.parse(reply);
    json.push(now() - t0);
  }
  rows.push([name, '  of which didOpen (with a hover to know it is done)', stats(opened)]);
  rows.push([name, '  of which semanticTokens/full', stats(tokens)]);
  rows.push([name, "  of which this client's JSON (stringify didOpen, parse reply)", stats(json)]);

  const { times: edit } = await typeAndTakeBack(conn, uri, text, prev, EDITS);
  rows.push([name, 'one-char didChange + full/delta', stats(edit), 0.3, 2]);
  const at = middle(text);

  // Completion where nothing is typed yet (every word and template is an
  // answer) and after the letters "Ask" on a line of their own.
  let version = EDITS + 2;
  const complete = async (what, position) => {
    const ms = [];
    let items = 0;
    for (let i = 0; i < 200; i++) {
      const t0 = now();
      const res = await conn.sendRequest('textDocument/completion', { textDocument: { uri }, position });
      ms.push(now() - t0);
      items = (Array.isArray(res) ? res : res.items).length;
    }
    rows.push([name, `completion ${what} (${items} items)`, stats(ms), 2]);
  };
  await complete('with nothing typed', { line: at.line, character: 0 });
  const line = { line: at.line, character: 0 };
  conn.sendNotification('textDocument/didChange', {
    textDocument: { uri, version: version++ },
    contentChanges: [{ range: { start: line, end: line }, text: 'Ask\n' }],
  });
  await complete('after "Ask"', { line: at.line, character: 3 });
  conn.sendNotification('textDocument/didChange', {
    textDocument: { uri, version: version++ },
    contentChanges: [{ range: { start: line, end: { line: at.line + 1, character: 0 } }, text: '' }],
  });

  const symbols = [];
  for (let i = 0; i < 100; i++) {
    const t0 = now();
    await conn.sendRequest('textDocument/documentSymbol', { textDocument: { uri } });
    symbols.push(now() - t0);
  }
  rows.push([name, 'documentSymbol', stats(symbols), 5]);
}

function memoryKiB(pid, field) {
  const m = new RegExp(`^${field}:\\s+(\\d+) kB`, 'm').exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
  return m ? Number(m[1]) : NaN;
}

async function main() {
  const rows = [];
  const big = generated(20000);
  {
    const server = await start();
    await measure(`largest example (${largest.split('\n').length - 1} lines)`, largest, server, rows);
    await measure('generated (20,000 lines)', big, server, rows);
    await server.conn.sendRequest('shutdown');
    server.conn.sendNotification('exit');
  }
  const os = require('node:os');
  console.log(`${os.cpus().length} cores, load average ${os.loadavg().map((x) => x.toFixed(2)).join(' ')} at the end\n`);
  const fmt = (x) => (x < 1 ? x.toFixed(3) : x.toFixed(2));
  console.log('| text | what | n | median ms | p99 ms | max ms | goal |');
  console.log('|---|---|---|---|---|---|---|');
  for (const [text, what, s, goalMedian, goalP99] of rows) {
    const goal = goalP99 ? `median < ${goalMedian}, p99 < ${goalP99}` : goalMedian ? `< ${goalMedian}` : '';
    console.log(`| ${text} | ${what} | ${s.n} | ${fmt(s.median)} | ${fmt(s.p99)} | ${fmt(s.max)} | ${goal} |`);
  }

  const server = await start();
  const base = memoryKiB(server.proc.pid, 'VmHWM');
  const t0 = now();
  for (let i = 0; i < DOCS; i++) {
    const uri = `untitled:/memory/${i}.wyn`;
    server.conn.sendNotification('textDocument/didOpen', {
      textDocument: { uri, languageId: 'wyn', version: 1, text: generated(20000, i) },
    });
    await server.conn.sendRequest('textDocument/semanticTokens/full', { textDocument: { uri } });
  }
  const hwm = memoryKiB(server.proc.pid, 'VmHWM');
  const rss = memoryKiB(server.proc.pid, 'VmRSS');
  console.log(
    `\n${DOCS} open documents of 20,000 lines (each coloured once): peak RSS ${(hwm / 1024).toFixed(1)} MiB ` +
      `(now ${(rss / 1024).toFixed(1)} MiB; ${(base / 1024).toFixed(1)} MiB before opening; goal < 300 MB), ` +
      `opened in ${((now() - t0) / 1000).toFixed(1)} s`,
  );
  await server.conn.sendRequest('shutdown');
  server.conn.sendNotification('exit');
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
