#!/usr/bin/env node
// The workspace index of `wyn lsp` over pipes, on a generated folder: how
// long the first workspace/symbol takes (it waits for the folder's walk),
// how long later ones take, how long a didChange + semanticTokens/full
// sent right behind that first request waits, how big the answer to an
// empty query is, and the server's peak resident memory.
//
//   node scripts/lsp-workspace.js [--files N] [--scripts N] [--script-kib N] [--rounds N]
//   node scripts/lsp-workspace.js --root DIR [--rounds N]
//
// The folder holds N files (default 100,000) in folders of 1,000, of which
// --scripts (default 200) are scripts of --script-kib KiB each (default 16)
// made from the examples with their routines renamed; 2000 scripts of 96
// KiB make about 190 MB. It is made under the system's temporary folder
// and removed afterwards; --root names a folder to use as it is instead
// (/ for the whole machine), which is only read. WYN_LSP names the server command (default:
// build/linux/wyn lsp). Needs `npm ci` in tests/lsp for the JSON-RPC package.
'use strict';

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { pathToFileURL } = require('node:url');

const { argValue, exampleTexts, startServer, now } = require('./lsp-measure');

const FILES = argValue('--files', 100000);
const SCRIPTS = argValue('--scripts', 200);
const SCRIPT_KIB = argValue('--script-kib', 16);
const ROUNDS = argValue('--rounds', 5);
const ROOT = process.argv.includes('--root') ? process.argv[process.argv.indexOf('--root') + 1] : null;

const examples = exampleTexts().map((t) => t.split('\n'));

// About KIB KiB of the examples one after the other, each copy's routines
// renamed after the file and the copy, so names stay distinct.
function script(kib, salt) {
  const out = [];
  let bytes = 0;
  for (let copy = 0; bytes < kib * 1024; copy++) {
    for (const lines of examples) {
      for (const l of lines) {
        const line = l.replace(/^function (\w+)/, `function $1_${salt}_${copy}`);
        out.push(line);
        bytes += line.length + 1;
      }
    }
  }
  return `${out.join('\n')}\n`;
}

function makeTree(dir) {
  const every = Math.max(1, Math.floor(FILES / Math.max(1, SCRIPTS)));
  let scripts = 0;
  for (let i = 0; i < FILES; i++) {
    const sub = path.join(dir, `d${Math.floor(i / 1000)}`);
    if (i % 1000 === 0) fs.mkdirSync(sub);
    if (i % every === 0 && scripts < SCRIPTS) {
      fs.writeFileSync(path.join(sub, `s${i}.wyn`), script(SCRIPT_KIB, i));
      scripts++;
    } else {
      fs.writeFileSync(path.join(sub, `f${i}.txt`), '');
    }
  }
  return scripts;
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor((xs.length - 1) / 2)];

function memoryKiB(pid, field) {
  const m = new RegExp(`^${field}:\\s+(\\d+) kB`, 'm').exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
  return m ? Number(m[1]) : NaN;
}

async function main() {
  const dir = ROOT || fs.mkdtempSync(path.join(os.tmpdir(), 'wyn-ws-'));
  try {
    const scripts = ROOT ? 0 : makeTree(dir);
    const { proc, conn } = await startServer(
      { rootUri: pathToFileURL(dir).href, capabilities: {} },
      process.env.WYN_LSP_STDERR ? 'inherit' : 'ignore',
    );

    // The first request and, right behind it, an edit and its tokens.
    const uri = 'untitled:/typing.wyn';
    const t0 = now();
    const first = conn.sendRequest('workspace/symbol', { query: 'CheckReq' }).then((r) => ({ ms: now() - t0, n: r.length }));
    conn.sendNotification('textDocument/didOpen', { textDocument: { uri, languageId: 'wyn', version: 1, text: 'function F()\nbegin\nend;\n' } });
    conn.sendNotification('textDocument/didChange', {
      textDocument: { uri, version: 2 },
      contentChanges: [{ range: { start: { line: 1, character: 5 }, end: { line: 1, character: 5 } }, text: 'x' }],
    });
    const tokens = conn.sendRequest('textDocument/semanticTokens/full', { textDocument: { uri } }).then(() => now() - t0);
    const [f, tokenMs] = await Promise.all([first, tokens]);

    const later = [];
    let n = 0;
    for (let i = 0; i < ROUNDS; i++) {
      const t = now();
      n = (await conn.sendRequest('workspace/symbol', { query: 'CheckReq' })).length;
      later.push(now() - t);
    }
    const t1 = now();
    const all = await conn.sendRequest('workspace/symbol', { query: '' });
    const allMs = now() - t1;
    const hwm = memoryKiB(proc.pid, 'VmHWM');
    await conn.sendRequest('shutdown');
    conn.sendNotification('exit');

    const mib = (kib) => `${(kib / 1024).toFixed(0)} MiB`;
    if (ROOT) console.log(`the folder ${ROOT}`);
    else console.log(`${FILES} files, ${scripts} scripts of ${SCRIPT_KIB} KiB (${((scripts * SCRIPT_KIB) / 1024).toFixed(0)} MiB of scripts)`);
    console.log(`first workspace/symbol:            ${f.ms.toFixed(1)} ms (${f.n} answers)`);
    console.log(`didChange + tokens sent behind it: ${tokenMs.toFixed(1)} ms`);
    console.log(`later workspace/symbol, median:    ${median(later).toFixed(1)} ms of ${ROUNDS} (${n} answers)`);
    console.log(`workspace/symbol "":               ${allMs.toFixed(1)} ms, ${all.length} answers, ${(JSON.stringify(all).length / 1048576).toFixed(1)} MiB`);
    console.log(`peak resident memory:              ${mib(hwm)}`);
  } finally {
    if (!ROOT) fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
