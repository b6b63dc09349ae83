// The protocol around the capabilities: position encodings over multi-byte
// text and every kind of line end, error answers, and the process's life
// from initialize to exit, also over a raw pipe where the bytes are broken.
'use strict';

const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const c = require('./client.js');

// Multi-byte text (two and four bytes, a surrogate pair in UTF-16) before
// words the server must find, with CR LF, a lone CR and LF ends.
const text = 's = "é😀"; n = AskYesNo(s, YES);\r\nt = "ü"; // 😀 note\rMessageBox(t, INFORMATION);\n/* 😀\r\n é */ x = 1;\n';

describe('position encodings', () => {
  const cases = [
    { offered: ['utf-16'], want: 'utf-16' },
    { offered: ['utf-8', 'utf-16'], want: 'utf-8' },
    { offered: undefined, want: 'utf-16' },
  ];
  for (const t of cases) {
    it(`offered ${JSON.stringify(t.offered)}: ${t.want}`, async () => {
      const server = await c.startServer({ capabilities: { general: t.offered ? { positionEncodings: t.offered } : {} } });
      try {
        assert.equal(server.init.capabilities.positionEncoding || 'utf-16', t.want);
        const uri = 'untitled:/enc.wyn';
        server.open(uri, text);
        const res = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
        c.assertSameColours(c.tokenColours(text, res.data, server.legend, t.want), c.toolColours(text), text, t.want);
        // A position in the client's units lands on the word meant.
        const col = (line, upTo) => (t.want === 'utf-8' ? Buffer.byteLength(c.splitLines(text)[line].slice(0, upTo)) : upTo);
        for (const [word, line] of [
          ['AskYesNo', 0],
          ['MessageBox', 2],
        ]) {
          const at = c.splitLines(text)[line].indexOf(word) + 2;
          const h = await server.request('textDocument/hover', { textDocument: { uri }, position: { line, character: col(line, at) } });
          assert.ok(h && JSON.stringify(h.contents).includes(word), `hover on ${word}: ${JSON.stringify(h)}`);
          if (h.range) {
            const lt = c.splitLines(text)[line];
            assert.deepEqual(h.range.start, { line, character: col(line, lt.indexOf(word)) });
          }
        }
        // An edit in the client's units changes the characters meant: a
        // comment opened right after the emoji covers the rest of the line.
        const after = c.splitLines(text)[0].indexOf('"', 5) - 2;
        const at = { line: 0, character: col(0, after) };
        server.change(uri, [{ range: { start: at, end: at }, text: '/* */' }]);
        const edited = c.applyEdits(text, [{ range: { start: { line: 0, character: after }, end: { line: 0, character: after } }, newText: '/* */' }]);
        assert.ok(edited.startsWith('s = "é/* */😀"'), edited);
        const res2 = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
        const colours = c.tokenColours(edited, res2.data, server.legend, t.want);
        assert.deepEqual(colours[0].slice(0, 14), c.toolColours(edited)[0].slice(0, 14));
      } finally {
        assert.equal(await server.stop(), 0);
      }
    });
  }
});

describe('errors', () => {
  it('answers faults with the right codes and goes on serving', async () => {
    const server = await c.startServer();
    try {
      const uri = 'untitled:/err.wyn';
      server.open(uri, 'program\n    AskYesNo(x, YES);\nendprogram\n');
      const pos = { line: 1, character: 6 };
      const cases = [
        { method: 'wyn/noSuchRequest', params: {}, code: -32601 },
        { method: 'textDocument/hover', params: { textDocument: { uri: 5 }, position: 'x' }, code: -32602 },
        { method: 'textDocument/hover', params: { textDocument: { uri } }, code: -32602 },
        { method: 'textDocument/semanticTokens/full', params: {}, code: -32602 },
        { method: 'textDocument/completion', params: { textDocument: { uri }, position: { line: -1, character: 'a' } }, code: -32602 },
        { method: 'textDocument/hover', params: { textDocument: { uri: 'untitled:/not-open.wyn' }, position: pos } },
        { method: 'textDocument/semanticTokens/full', params: { textDocument: { uri: 'untitled:/not-open.wyn' } } },
        { method: 'textDocument/documentSymbol', params: { textDocument: { uri: 'file:///nowhere/not-open.wyn' } } },
      ];
      for (const t of cases) {
        const e = await c.requestError(server, t.method, t.params);
        if (t.code) assert.equal(e.code, t.code, `${t.method} ${JSON.stringify(t.params)}: ${e.message}`);
        else assert.ok(typeof e.code === 'number', `${t.method}: ${e}`);
      }
      // Unknown notifications are dropped; positions past the end are clamped.
      server.conn.sendNotification('wyn/noSuchNotification', { x: 1 });
      server.change('untitled:/not-open.wyn', [{ text: 'x' }]);
      const h = await server.request('textDocument/hover', { textDocument: { uri }, position: pos });
      assert.match(JSON.stringify(h.contents), /AskYesNo/);
      await server.request('textDocument/completion', { textDocument: { uri }, position: { line: 99, character: 99 } });
      await server.request('textDocument/semanticTokens/range', {
        textDocument: { uri },
        range: { start: { line: 2, character: 50 }, end: { line: 1, character: 0 } },
      });
    } finally {
      assert.equal(await server.stop(), 0);
    }
  });
});

// A server on a raw pipe: WRITES are sent in order, then stdin is closed
// unless KEEP_OPEN. Resolves with the exit status and the decoded replies.
function raw(writes, { keepOpen = false, timeout = 10000 } = {}) {
  return new Promise((resolve, reject) => {
    const cmd = c.serverCommand();
    const proc = spawn(cmd[0], cmd.slice(1), { stdio: ['pipe', 'pipe', 'pipe'] });
    const out = [];
    proc.stdout.on('data', (b) => out.push(b));
    proc.stderr.on('data', () => {});
    proc.stdin.on('error', () => {});
    const timer = setTimeout(() => {
      proc.kill('SIGKILL');
      reject(new Error('the server hung'));
    }, timeout);
    proc.on('exit', (code, signal) => {
      clearTimeout(timer);
      resolve({ code: signal || code, replies: parseReplies(Buffer.concat(out)) });
    });
    for (const w of writes) proc.stdin.write(w);
    if (!keepOpen) proc.stdin.end();
  });
}

const frame = (obj) => {
  const body = Buffer.from(typeof obj === 'string' ? obj : JSON.stringify(obj), 'utf8');
  return Buffer.concat([Buffer.from(`Content-Length: ${body.length}\r\n\r\n`), body]);
};

// Every framed message on the server's stdout; fails on anything else.
function parseReplies(buf) {
  const replies = [];
  let at = 0;
  while (at < buf.length) {
    const end = buf.indexOf('\r\n\r\n', at);
    assert.ok(end > 0, `stray bytes on stdout: ${JSON.stringify(buf.subarray(at).toString())}`);
    const m = /Content-Length: (\d+)/i.exec(buf.subarray(at, end).toString());
    assert.ok(m, 'a header without Content-Length');
    const len = Number(m[1]);
    replies.push(JSON.parse(buf.subarray(end + 4, end + 4 + len).toString('utf8')));
    at = end + 4 + len;
  }
  return replies;
}

const initialize = { jsonrpc: '2.0', id: 1, method: 'initialize', params: { processId: null, rootUri: null, capabilities: {} } };
const initialized = { jsonrpc: '2.0', method: 'initialized', params: {} };
const shutdown = (id) => ({ jsonrpc: '2.0', id, method: 'shutdown' });
const exit = { jsonrpc: '2.0', method: 'exit' };
const symbols = (id) => ({ jsonrpc: '2.0', id, method: 'workspace/symbol', params: { query: 'x' } });

describe('process and framing', () => {
  const cases = [
    { name: 'shutdown then exit: 0', writes: [initialize, initialized, shutdown(2), exit], code: 0 },
    { name: 'exit without shutdown: 1', writes: [initialize, initialized, exit], code: 1 },
    { name: 'end of input without shutdown: not 0', writes: [initialize, initialized], code: 'nonzero' },
    {
      name: 'malformed JSON: -32700, then the next message is served',
      writes: [initialize, '{"jsonrpc": "2.0", "id": 7, "method": ', symbols(3), shutdown(4), exit],
      code: 0,
      errors: { null: -32700 },
      answered: [3, 4],
    },
    {
      name: 'a body that is not an object, then the next message is served',
      writes: [initialize, '[1, 2', '"text"', symbols(3), shutdown(4), exit],
      code: 0,
      answered: [3, 4],
    },
    {
      name: 'a header without Content-Length: -32700, then the next message is served',
      writes: [initialize, Buffer.from('Content-Type: x\r\n\r\n'), symbols(3), shutdown(4), exit],
      code: 0,
      errors: { null: -32700 },
      answered: [3, 4],
    },
    {
      name: 'a request before initialize is refused',
      writes: [symbols(9), initialize, shutdown(4), exit],
      code: 0,
      errors: { 9: -32002 },
      answered: [4],
    },
    {
      name: '$/cancelRequest for a finished request is harmless',
      writes: [initialize, symbols(3), { jsonrpc: '2.0', method: '$/cancelRequest', params: { id: 3 } }, shutdown(4), exit],
      code: 0,
      answered: [3, 4],
    },
    {
      name: 'requests after shutdown are refused',
      writes: [initialize, shutdown(2), symbols(3), exit],
      code: 0,
      errors: { 3: -32600 },
    },
  ];
  for (const t of cases) {
    it(t.name, async () => {
      const { code, replies } = await raw(t.writes.map((w) => (Buffer.isBuffer(w) ? w : frame(w))));
      if (t.code === 'nonzero') assert.notEqual(code, 0);
      else assert.equal(code, t.code);
      for (const [id, want] of Object.entries(t.errors || {})) {
        const r = replies.find((x) => String(x.id) === id && x.error);
        assert.ok(r, `no error for id ${id}: ${JSON.stringify(replies)}`);
        assert.equal(r.error.code, want);
      }
      for (const id of t.answered || []) {
        assert.ok(
          replies.some((x) => x.id === id && 'result' in x),
          `request ${id} not answered: ${JSON.stringify(replies)}`,
        );
      }
    });
  }

  it('a message over the size limit is refused without reading it', async () => {
    const { code, replies } = await raw([frame(initialize), Buffer.from('Content-Length: 99999999999\r\n\r\n{')]);
    assert.notEqual(code, 0);
    assert.ok(replies.some((r) => r.error), `no error reply: ${JSON.stringify(replies)}`);
  });
});
