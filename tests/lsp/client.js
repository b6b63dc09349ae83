// Starts `wyn lsp` and drives it through the JSON-RPC and protocol packages
// the common editors' clients are built on, and gives the tests what they
// share: the example scripts, the tool's own colouring of a text, decoding
// of semantic tokens, and applying text edits.
//
// WYN_LSP names the server command (words split at blanks), by default the
// Linux build's `wyn lsp`; the tool command for `wyn colour` and friends is
// the same command without its last word, so `wine wyn.exe lsp` works too.
'use strict';

const assert = require('node:assert/strict');
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { pathToFileURL } = require('node:url');
const rpc = require('vscode-jsonrpc/node');

const root = path.resolve(__dirname, '..', '..');
const examplesDir = path.join(root, 'examples');

function serverCommand() {
  const text = process.env.WYN_LSP || `${path.join(root, 'build', 'linux', 'wyn')} lsp`;
  return text.split(/\s+/).filter(Boolean);
}

function toolCommand() {
  const cmd = serverCommand();
  assert.equal(cmd[cmd.length - 1], 'lsp', 'WYN_LSP must end with the word lsp');
  return cmd.slice(0, -1);
}

// Runs the tool with ARGS, STDIN as its input, with no project configuration,
// in an empty folder; returns its standard output.
let toolCwd;
function tool(args, stdin) {
  const [exe, ...pre] = toolCommand();
  toolCwd = toolCwd || tempDir();
  return execFileSync(exe, [...pre, '--no-config', ...args], {
    cwd: toolCwd,
    input: stdin,
    encoding: 'utf8',
    maxBuffer: 64 << 20,
  });
}

const exampleNames = fs.readdirSync(examplesDir).filter((n) => n.endsWith('.wyn')).sort();
function example(name) {
  return fs.readFileSync(path.join(examplesDir, name), 'utf8');
}

// A fresh folder under the system's temporary folder, removed at exit.
function tempDir() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'wyn-lsp-'));
  process.on('exit', () => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

// A workspace folder holding copies of the examples.
function exampleWorkspace() {
  const dir = tempDir();
  for (const n of exampleNames) fs.copyFileSync(path.join(examplesDir, n), path.join(dir, n));
  return dir;
}

const uriOf = (file) => pathToFileURL(file).href;

const legendCategory = {
  comment: 'comment',
  string: 'string',
  number: 'number',
  operator: 'operator',
  keyword: 'keyword',
  function: 'function',
  variable: 'constant',
};

// The tool's whole-buffer colouring of TEXT: for each line (split at CR LF,
// LF or a lone CR, as the protocol counts lines) an array with one category
// name or null per UTF-16 code unit.
function toolColours(text) {
  const html = tool(['colour', '--html', '-', '-'], text);
  const pre = html.slice(html.indexOf('<pre class="wyn">') + '<pre class="wyn">'.length, html.indexOf('</pre>'));
  // Line numbers are marked up with class "ln"; they are no part of the text.
  const body = pre.replace(/<(a|span)\b[^>]*\bclass="ln"[^>]*>[^<]*<\/\1>/g, '');
  const unescape = (s) =>
    s.replace(/&(quot|amp|lt|gt|#39|#x([0-9a-fA-F]+)|#(\d+));/g, (m, name, hex, dec) => {
      if (hex) return String.fromCodePoint(parseInt(hex, 16));
      if (dec) return String.fromCodePoint(parseInt(dec, 10));
      return { quot: '"', amp: '&', lt: '<', gt: '>', '#39': "'" }[name];
    });
  const plain = [];
  const cats = [];
  const re = /<span class="wyn-(\w+)">([\s\S]*?)<\/span>|([^<]+)/g;
  for (let m; (m = re.exec(body)); ) {
    const s = unescape(m[2] !== undefined ? m[2] : m[3]);
    plain.push(s);
    for (let i = 0; i < s.length; i++) cats.push(m[1] || null);
  }
  const joined = plain.join('');
  const lines = [];
  let cur = [];
  for (let i = 0; i < joined.length; i++) {
    const c = joined[i];
    if (c === '\n' || c === '\r') {
      if (c === '\r' && joined[i + 1] === '\n') i++;
      lines.push(cur);
      cur = [];
    } else {
      cur.push(cats[i]);
    }
  }
  lines.push(cur);
  return lines;
}

// Splits TEXT into lines the way the protocol counts them.
const splitLines = (text) => text.split(/\r\n|\r|\n/);

// Absolute tokens from a semantic-tokens data array.
function decodeTokens(data, legend) {
  assert.equal(data.length % 5, 0, 'token data comes in fives');
  const out = [];
  let line = 0;
  let start = 0;
  for (let i = 0; i < data.length; i += 5) {
    const [dl, ds, length, type, mods] = data.slice(i, i + 5);
    line += dl;
    start = dl ? ds : start + ds;
    const modifiers = legend.tokenModifiers.filter((_, bit) => mods & (1 << bit));
    out.push({ line, start, length, type: legend.tokenTypes[type], modifiers });
  }
  return out;
}

// The category of a decoded token, checking its modifiers are the announced
// ones for its type.
function tokenCategory(tok) {
  const mods = [...tok.modifiers].sort().join(' ');
  const want = { function: 'defaultLibrary', variable: 'defaultLibrary readonly' }[tok.type] || '';
  assert.equal(mods, want, `modifiers of a ${tok.type} token at ${tok.line}:${tok.start}`);
  const cat = legendCategory[tok.type];
  assert.ok(cat, `unknown token type ${tok.type}`);
  return cat;
}

// Per-line category arrays (as toolColours gives) from token DATA over TEXT,
// with UNIT 'utf-16' or 'utf-8' saying what the token columns count.
function tokenColours(text, data, legend, unit = 'utf-16') {
  const lines = splitLines(text);
  const out = lines.map((l) => new Array(l.length).fill(null));
  for (const tok of decodeTokens(data, legend)) {
    assert.ok(tok.line < lines.length, `token on line ${tok.line} past the end`);
    let from = tok.start;
    let to = tok.start + tok.length;
    if (unit === 'utf-8') {
      const bytes = Buffer.from(lines[tok.line], 'utf8');
      assert.ok(to <= bytes.length, `token ${tok.line}:${tok.start}+${tok.length} past its line's end`);
      from = bytes.subarray(0, from).toString('utf8').length;
      to = bytes.subarray(0, to).toString('utf8').length;
    }
    assert.ok(tok.length > 0, `empty token at ${tok.line}:${tok.start}`);
    assert.ok(to <= lines[tok.line].length, `token ${tok.line}:${tok.start}+${tok.length} past its line's end`);
    const cat = tokenCategory(tok);
    for (let i = from; i < to; i++) {
      assert.equal(out[tok.line][i], null, `tokens overlap at ${tok.line}:${i}`);
      out[tok.line][i] = cat;
    }
  }
  return out;
}

// Compares two per-line category arrays; the message names the first
// differing line with its text.
function assertSameColours(actual, expected, text, what) {
  const lines = splitLines(text);
  const n = Math.max(actual.length, expected.length);
  for (let i = 0; i < n; i++) {
    const a = (actual[i] || []).map((c) => c || '-').join(',');
    const e = (expected[i] || []).map((c) => c || '-').join(',');
    if (a !== e) {
      assert.fail(`${what}: line ${i + 1} ${JSON.stringify(lines[i])}\n  server: ${a}\n  tool:   ${e}`);
    }
  }
}

// Offset in TEXT (UTF-16 units) of a protocol position counted in UTF-16.
function offsetAt(text, pos) {
  let off = 0;
  for (let line = 0; line < pos.line; line++) {
    const m = /\r\n|\r|\n/g;
    m.lastIndex = off;
    const hit = m.exec(text);
    if (!hit) return text.length;
    off = hit.index + hit[0].length;
  }
  return off + pos.character;
}

// The protocol position (UTF-16) of the first NEEDLE in TEXT, plus DELTA units.
function positionOf(text, needle, delta = 0) {
  const at = text.indexOf(needle);
  assert.ok(at >= 0, `${JSON.stringify(needle)} not in the text`);
  const before = text.slice(0, at + delta);
  const lines = splitLines(before);
  return { line: lines.length - 1, character: lines[lines.length - 1].length };
}

// Applies text EDITS (UTF-16 positions) to TEXT, last first.
function applyEdits(text, edits) {
  const sorted = [...edits].sort(
    (a, b) => offsetAt(text, b.range.start) - offsetAt(text, a.range.start) || offsetAt(text, b.range.end) - offsetAt(text, a.range.end),
  );
  for (const e of sorted) {
    text = text.slice(0, offsetAt(text, e.range.start)) + e.newText + text.slice(offsetAt(text, e.range.end));
  }
  return text;
}

// A running server with a connection. OPTS: initializationOptions,
// workspaceFolders (paths), capabilities (merged key by key over a full
// client's),
// configuration (answer to workspace/configuration).
async function startServer(opts = {}) {
  const [exe, ...args] = serverCommand();
  const proc = spawn(exe, args, { stdio: ['pipe', 'pipe', 'pipe'] });
  const stderr = [];
  proc.stderr.on('data', (b) => stderr.push(b));
  const exited = new Promise((resolve) => proc.on('exit', (code, signal) => resolve(signal ? signal : code)));
  const conn = rpc.createMessageConnection(new rpc.StreamMessageReader(proc.stdout), new rpc.StreamMessageWriter(proc.stdin));
  const server = {
    proc,
    conn,
    exited,
    stderr: () => Buffer.concat(stderr).toString('utf8'),
    refreshes: 0,
    logs: [],
    applied: [],
  };
  conn.onRequest('workspace/semanticTokens/refresh', () => {
    server.refreshes++;
    return null;
  });
  conn.onRequest('workspace/applyEdit', (p) => {
    server.applied.push(p.edit);
    return { applied: true };
  });
  conn.onRequest('workspace/configuration', (p) => p.items.map(() => opts.configuration || null));
  conn.onRequest('client/registerCapability', () => null);
  conn.onRequest('window/workDoneProgress/create', () => null);
  conn.onNotification('window/logMessage', (p) => server.logs.push(p));
  conn.onNotification(() => {});
  conn.onError(() => {});
  conn.onClose(() => {});
  conn.listen();
  const capabilities = {
    general: { positionEncodings: ['utf-16'] },
    workspace: {
      applyEdit: true,
      configuration: true,
      didChangeConfiguration: { dynamicRegistration: false },
      semanticTokens: { refreshSupport: true },
      symbol: { dynamicRegistration: false },
      workspaceFolders: true,
      executeCommand: {},
    },
    textDocument: {
      synchronization: { didSave: true },
      completion: {
        completionItem: { snippetSupport: true, documentationFormat: ['markdown', 'plaintext'] },
        completionItemKind: { valueSet: Array.from({ length: 25 }, (_, i) => i + 1) },
      },
      hover: { contentFormat: ['markdown', 'plaintext'] },
      signatureHelp: { signatureInformation: { parameterInformation: { labelOffsetSupport: true } } },
      documentSymbol: { hierarchicalDocumentSymbolSupport: true },
      definition: {},
      foldingRange: {},
      onTypeFormatting: {},
      codeAction: { codeActionLiteralSupport: { codeActionKind: { valueSet: ['', 'quickfix', 'refactor', 'refactor.rewrite'] } } },
      semanticTokens: {
        requests: { range: true, full: { delta: true } },
        tokenTypes: ['comment', 'string', 'number', 'operator', 'keyword', 'function', 'variable'],
        tokenModifiers: ['readonly', 'defaultLibrary'],
        formats: ['relative'],
      },
    },
  };
  // Merges OVER into BASE, objects key by key.
  const merge = (base, over) => {
    for (const [k, v] of Object.entries(over || {})) {
      base[k] = v && typeof v === 'object' && !Array.isArray(v) && base[k] ? merge(base[k], v) : v;
    }
    return base;
  };
  merge(capabilities, opts.capabilities);
  const folders = (opts.workspaceFolders || []).map((p) => ({ uri: uriOf(p), name: path.basename(p) }));
  const init = await conn.sendRequest('initialize', {
    processId: process.pid,
    rootUri: folders.length ? folders[0].uri : null,
    workspaceFolders: folders.length ? folders : null,
    capabilities,
    initializationOptions: opts.initializationOptions,
  });
  conn.sendNotification('initialized', {});
  server.init = init;
  server.legend = init.capabilities.semanticTokensProvider && init.capabilities.semanticTokensProvider.legend;
  server.versions = new Map();
  server.open = (uri, text) => {
    server.versions.set(uri, 1);
    conn.sendNotification('textDocument/didOpen', { textDocument: { uri, languageId: 'wyn', version: 1, text } });
  };
  server.change = (uri, contentChanges) => {
    const version = server.versions.get(uri) + 1;
    server.versions.set(uri, version);
    conn.sendNotification('textDocument/didChange', { textDocument: { uri, version }, contentChanges });
  };
  server.request = (method, params) => conn.sendRequest(method, params);
  // Shuts the server down politely and resolves with its exit status.
  server.stop = async () => {
    if (proc.exitCode === null) {
      await conn.sendRequest('shutdown');
      conn.sendNotification('exit');
    }
    const code = await exited;
    conn.dispose();
    return code;
  };
  return server;
}

// Rejects with the error of a request that must fail.
async function requestError(server, method, params) {
  try {
    await server.request(method, params);
  } catch (e) {
    return e;
  }
  assert.fail(`${method} succeeded where it should have failed`);
}

module.exports = {
  root,
  serverCommand,
  examplesDir,
  exampleNames,
  example,
  tempDir,
  exampleWorkspace,
  uriOf,
  tool,
  toolColours,
  splitLines,
  decodeTokens,
  tokenColours,
  assertSameColours,
  offsetAt,
  positionOf,
  applyEdits,
  startServer,
  requestError,
};
