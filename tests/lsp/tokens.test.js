// Semantic tokens as a client sees them: full, range and delta responses,
// decoded back to characters and held against the tool's own whole-buffer
// colouring, and a long edit session in which every delta, applied to the
// tokens before it, must give what a fresh full response gives.
'use strict';

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const c = require('./client.js');

// Applies semantic-token EDITS to DATA.
function applyTokenEdits(data, edits) {
  const out = [...data];
  for (const e of [...edits].sort((a, b) => b.start - a.start)) {
    out.splice(e.start, e.deleteCount, ...(e.data || []));
  }
  return out;
}

// Tiny seeded generator so a failing session can be replayed.
function prng(seed) {
  let s = seed >>> 0;
  return (n) => {
    s = (s * 1664525 + 1013904223) >>> 0;
    return s % n;
  };
}

// 200 random edits on SERVER in position unit UNIT: every delta applied to
// the tokens before it must equal a fresh full response, and once the client
// idles the tokens must be the tool's colouring of the final text.
async function editSession(server, unit) {
  let text = c.example('setup.wyn');
  const uri = `untitled:/session-${unit}.wyn`;
  server.open(uri, text);
  let full = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
  assert.ok(full.resultId, 'a full response needs a resultId to take deltas from');
  const pieces = ['/*', '*/', '"', "'", '\n', '//', ' while ', 'x', ';', '\\\n', '\t', 'é😀', 'AskYesNo', '123', '\r\n'];
  const rand = prng(13);
  // An offset inside a surrogate pair or between CR and LF: no place to edit.
  const split = (t, off) => /[\uDC00-\uDFFF]/.test(t[off]) || (t[off] === '\n' && t[off - 1] === '\r');
  for (let i = 0; i < 200; i++) {
    const lines = c.splitLines(text);
    const line = rand(lines.length);
    const start = { line, character: rand(lines[line].length + 1) };
    const startOff = c.offsetAt(text, start);
    // The client's units for a range of the text before this edit.
    const before = text;
    const col = (p) => (unit === 'utf-8' ? Buffer.byteLength(c.splitLines(before)[p.line].slice(0, p.character)) : p.character);
    const inUnit = (r) => ({ start: { line: r.start.line, character: col(r.start) }, end: { line: r.end.line, character: col(r.end) } });
    let range = { start, end: start };
    let newText = pieces[rand(pieces.length)];
    if (rand(3) === 0) {
      // Replace or delete up to a few units.
      let endOff = Math.min(text.length, startOff + 1 + rand(6));
      while (endOff < text.length && split(text, endOff)) endOff++;
      const upTo = c.splitLines(text.slice(0, endOff));
      range = { start, end: { line: upTo.length - 1, character: upTo[upTo.length - 1].length } };
      newText = rand(2) ? '' : newText;
    }
    if (split(text, startOff)) continue;
    text = c.applyEdits(text, [{ range, newText }]);
    const changes = [{ range: inUnit(range), text: newText }];
    if (i % 50 === 49) {
      // Now and then the whole text at once, as some clients send it.
      changes.splice(0, 1, { text });
    } else if (i % 7 === 3) {
      // Or a second change in the same notification, on the text the
      // first one left: a word typed at the start of the document.
      const zero = { line: 0, character: 0 };
      text = c.applyEdits(text, [{ range: { start: zero, end: zero }, newText: 'if ' }]);
      changes.push({ range: { start: zero, end: zero }, text: 'if ' });
    }
    server.change(uri, changes);
    const delta = await server.request('textDocument/semanticTokens/full/delta', {
      textDocument: { uri },
      previousResultId: full.resultId,
    });
    const patched = delta.edits ? applyTokenEdits(full.data, delta.edits) : delta.data;
    const fresh = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
    assert.deepEqual(patched, fresh.data, `edit ${i}: ${JSON.stringify({ range, newText })}`);
    c.tokenColours(text, fresh.data, server.legend, unit); // within the text, no overlaps
    full = fresh;
  }
  // Left alone, the server colours the whole buffer: the tokens then are
  // the tool's colouring of the final text.
  await new Promise((r) => setTimeout(r, 1500));
  const last = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
  c.assertSameColours(c.tokenColours(text, last.data, server.legend, unit), c.toolColours(text), text, 'after the session');
}

describe('semantic tokens', () => {
  let server;
  before(async () => {
    server = await c.startServer();
  });
  after(async () => {
    assert.equal(await server.stop(), 0);
  });

  it('announces the legend, full with delta, and range', () => {
    const p = server.init.capabilities.semanticTokensProvider;
    assert.ok(p, 'no semanticTokensProvider');
    assert.deepEqual(p.full, { delta: true });
    assert.equal(p.range, true);
    for (const t of ['comment', 'string', 'number', 'operator', 'keyword', 'function', 'variable']) {
      assert.ok(p.legend.tokenTypes.includes(t), `legend lacks ${t}`);
    }
    for (const m of ['readonly', 'defaultLibrary']) {
      assert.ok(p.legend.tokenModifiers.includes(m), `legend lacks ${m}`);
    }
  });

  // Every example, and the same text with CR LF ends, coloured as the tool
  // colours it, character for character.
  const cases = c.exampleNames.flatMap((n) => [
    { name: n, text: c.example(n) },
    { name: `${n} with CR LF`, text: c.example(n).replace(/\n/g, '\r\n') },
  ]);
  for (const { name, text } of cases) {
    it(`full tokens equal the tool's colours: ${name}`, async () => {
      const uri = `untitled:/full/${encodeURIComponent(name)}.wyn`;
      server.open(uri, text);
      const res = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
      c.assertSameColours(c.tokenColours(text, res.data, server.legend), c.toolColours(text), text, name);
      server.conn.sendNotification('textDocument/didClose', { textDocument: { uri } });
    });
  }

  it('never spans a line end and splits block comments per line', async () => {
    const text = '/* one\n   two\n   three */ if\n';
    const uri = 'untitled:/split.wyn';
    server.open(uri, text);
    const res = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
    const toks = c.decodeTokens(res.data, server.legend);
    const comments = toks.filter((t) => t.type === 'comment').map((t) => [t.line, t.start, t.length]);
    assert.deepEqual(comments, [
      [0, 0, 6],
      [1, 0, 6],
      [2, 0, 11],
    ]);
  });

  it('range tokens are the full tokens of the lines asked for, or more', async () => {
    const text = c.example('setup.wyn');
    const uri = 'untitled:/range.wyn';
    server.open(uri, text);
    const full = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
    const all = c.decodeTokens(full.data, server.legend);
    for (const [from, to] of [
      [0, 3],
      [10, 40],
      [60, 61],
      [150, 400],
    ]) {
      const res = await server.request('textDocument/semanticTokens/range', {
        textDocument: { uri },
        range: { start: { line: from, character: 0 }, end: { line: to, character: 0 } },
      });
      // A server may answer for more than the range, as long as what it
      // sends is right: every token of the range, and only true tokens.
      const key = (t) => JSON.stringify(t);
      const got = new Set(c.decodeTokens(res.data, server.legend).map(key));
      const every = new Set(all.map(key));
      for (const t of all.filter((x) => x.line >= from && x.line < to)) assert.ok(got.has(key(t)), `lines ${from}..${to} lack ${key(t)}`);
      for (const t of got) assert.ok(every.has(t), `lines ${from}..${to}: ${t} is not a token of the full response`);
    }
  });

  it('200 edits in UTF-16 units: every delta applied to the tokens before it equals a fresh full response', () =>
    editSession(server, 'utf-16'));

  it('200 edits in UTF-8 units: the same', async () => {
    const utf8 = await c.startServer({ capabilities: { general: { positionEncodings: ['utf-8'] } } });
    try {
      assert.equal(utf8.init.capabilities.positionEncoding, 'utf-8');
      await editSession(utf8, 'utf-8');
    } finally {
      assert.equal(await utf8.stop(), 0);
    }
  });

  it('a stale re-colouring is put right when idle, and the client asked to refresh', async () => {
    // Opening a comment above a closer that sits in a string leaves the range
    // re-colouring short of the whole-buffer result; the document is large
    // enough that the whole-buffer colouring waits for the client to idle.
    const body = ['x = 1;', ...Array.from({ length: 20000 }, (_, i) => `s${i} = "*/ ${i}";`), ''].join('\n');
    const uri = 'untitled:/stale.wyn';
    server.open(uri, body);
    await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
    const refreshesBefore = server.refreshes;
    server.change(uri, [{ range: { start: { line: 0, character: 0 }, end: { line: 0, character: 0 } }, text: '/* ' }]);
    const text = `/* ${body}`;
    const want = c.toolColours(text);
    const first = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
    let wasStale = false;
    try {
      c.assertSameColours(c.tokenColours(text, first.data, server.legend), want, text, 'right after the edit');
    } catch {
      wasStale = true;
    }
    await new Promise((r) => setTimeout(r, 1500));
    const last = await server.request('textDocument/semanticTokens/full', { textDocument: { uri } });
    c.assertSameColours(c.tokenColours(text, last.data, server.legend), want, text, 'after idling');
    if (wasStale) assert.ok(server.refreshes > refreshesBefore, 'stale tokens were put right without a refresh request');
  });

  it('one document\'s edit never changes another\'s tokens', async () => {
    const a = 'untitled:/a.wyn';
    const b = 'untitled:/b.wyn';
    const text = c.example('uninstall.wyn');
    server.open(a, text);
    server.open(b, text);
    const before = await server.request('textDocument/semanticTokens/full', { textDocument: { uri: b } });
    server.change(a, [{ range: { start: { line: 0, character: 0 }, end: { line: 0, character: 0 } }, text: '/* "\n' }]);
    await server.request('textDocument/semanticTokens/full', { textDocument: { uri: a } });
    const after = await server.request('textDocument/semanticTokens/full', { textDocument: { uri: b } });
    assert.deepEqual(after.data, before.data);
  });
});
