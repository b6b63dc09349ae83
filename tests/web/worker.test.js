// The language server's web worker (build/wasm-web) in headless Chromium,
// served from a local server, against the native server (build/linux/wyn
// lsp) given the same messages: the replies and the last diagnostics of
// each script are the same. One script is an example, one generated past
// the size checked at once, so its check waits for the worker's timer.
//
//   WYN_WEB_DIR=build/wasm-web WYN=build/linux/wyn node --test tests/web/
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { spawn, execFileSync } = require('child_process');
const { chromium } = require('playwright-core');

const root = path.resolve(__dirname, '..', '..');
const webDir = path.resolve(process.env.WYN_WEB_DIR || path.join(root, 'build/wasm-web'));
const native = path.resolve(process.env.WYN || path.join(root, 'build/linux/wyn'));
const gen = path.join(path.dirname(native), 'wyn_gen');
const browser = process.env.WYN_CHROMIUM || '/usr/bin/chromium';

// A script larger than the server checks at once after a change.
function bigScript() {
  if (fs.existsSync(gen)) return execFileSync(gen, ['100000', '7', 'real']).toString('utf8');
  let text = '';
  const examples = ['setup.wyn', 'registry.wyn', 'uninstall.wyn'];
  while (text.length < 100000)
    for (const f of examples) text += fs.readFileSync(path.join(root, 'examples', f), 'utf8');
  return text;
}

const setupUri = 'file:///w/setup.wyn';
const bigUri = 'file:///w/big.wyn';

// The session both servers get, through client: post(message) and
// until(predicate over everything received so far).
async function session(client) {
  let id = 0;
  const request = async (method, params) => {
    const mine = ++id;
    await client.post({ jsonrpc: '2.0', id: mine, method, params });
    const all = await client.until((ms) => ms.some((m) => m.id === mine && !m.method));
    const reply = all.find((m) => m.id === mine && !m.method);
    assert.ok(!reply.error, `${method}: ${JSON.stringify(reply.error)}`);
    return reply.result;
  };
  const notify = (method, params) => client.post({ jsonrpc: '2.0', method, params });
  const doc = (uri) => ({ textDocument: { uri } });
  const seen = {};

  const init = await request('initialize', {
    processId: null,
    rootUri: null,
    capabilities: {
      textDocument: {
        semanticTokens: { requests: { full: { delta: true } }, multilineTokenSupport: false },
        documentSymbol: { hierarchicalDocumentSymbolSupport: true },
      },
    },
  });
  seen.capabilities = init.capabilities;
  await notify('initialized', {});
  const setup = fs.readFileSync(path.join(root, 'examples/setup.wyn'), 'utf8');
  await notify('textDocument/didOpen', {
    textDocument: { uri: setupUri, languageId: 'wyn', version: 1, text: setup },
  });
  await notify('textDocument/didOpen', {
    textDocument: { uri: bigUri, languageId: 'wyn', version: 1, text: bigScript() },
  });
  const full = await request('textDocument/semanticTokens/full', doc(setupUri));
  seen.full = full;
  seen.bigFull = await request('textDocument/semanticTokens/full', doc(bigUri));
  await notify('textDocument/didChange', {
    textDocument: { uri: setupUri, version: 2 },
    contentChanges: [
      { range: { start: { line: 2, character: 0 }, end: { line: 2, character: 0 } },
        text: 'if x then\n  y = "two" + 2\nend\n' },
    ],
  });
  seen.delta = await request('textDocument/semanticTokens/full/delta', {
    textDocument: { uri: setupUri }, previousResultId: full.resultId,
  });
  seen.symbols = await request('textDocument/documentSymbol', doc(setupUri));
  seen.bigSymbols = await request('textDocument/documentSymbol', doc(bigUri));
  // Edit the large script and wait out its deferred check.
  await notify('textDocument/didChange', {
    textDocument: { uri: bigUri, version: 2 },
    contentChanges: [
      { range: { start: { line: 0, character: 0 }, end: { line: 0, character: 0 } },
        text: 'x = (1\n' },
    ],
  });
  const lastCheck = (ms, uri) =>
    ms.filter((m) => m.method === 'textDocument/publishDiagnostics' && m.params.uri === uri).pop();
  const all = await client.until((ms) => {
    const d = lastCheck(ms, bigUri);
    return d && d.params.version === 2;
  });
  seen.setupCheck = lastCheck(all, setupUri);
  seen.bigCheck = lastCheck(all, bigUri);
  await request('shutdown', null);
  await notify('exit', null);
  return seen;
}

// The native server over its standard streams.
function nativeClient() {
  // From an empty folder: no configuration file of the checkout's is found.
  const cwd = fs.mkdtempSync(path.join(os.tmpdir(), 'wyn-native-'));
  const child = spawn(native, ['lsp'], { cwd, stdio: ['pipe', 'pipe', 'ignore'] });
  child.on('exit', () => fs.rmSync(cwd, { recursive: true, force: true }));
  const received = [];
  let buf = Buffer.alloc(0);
  let wake = () => {};
  child.stdout.on('data', (chunk) => {
    buf = Buffer.concat([buf, chunk]);
    for (;;) {
      const end = buf.indexOf('\r\n\r\n');
      if (end < 0) break;
      const length = Number(/Content-Length: *(\d+)/i.exec(buf.subarray(0, end).toString())[1]);
      if (buf.length < end + 4 + length) break;
      received.push(JSON.parse(buf.subarray(end + 4, end + 4 + length).toString('utf8')));
      buf = buf.subarray(end + 4 + length);
    }
    wake();
  });
  return {
    child,
    post: async (m) => {
      const body = Buffer.from(JSON.stringify(m), 'utf8');
      child.stdin.write(`Content-Length: ${body.length}\r\n\r\n`);
      child.stdin.write(body);
    },
    until: (pred) =>
      new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error('native server: no answer')), 30000);
        const check = () => {
          if (!pred(received)) return;
          clearTimeout(timer);
          resolve(received.slice());
        };
        wake = check;
        check();
      }),
  };
}

function serve(dir) {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
  const files = {
    '/worker-harness.html': path.join(__dirname, 'worker-harness.html'),
    '/wyn-worker.js': path.join(dir, 'wyn-worker.js'),
    '/wyn-worker.wasm': path.join(dir, 'wyn-worker.wasm'),
  };
  const server = http.createServer((req, res) => {
    const file = files[new URL(req.url, 'http://x').pathname];
    if (!file) return res.writeHead(404).end();
    res.writeHead(200, { 'Content-Type': types[path.extname(file)] });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

test('the worker in a browser answers as the native server', async () => {
  const server = await serve(webDir);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'wyn-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: browser,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = context.pages()[0] || (await context.newPage());
    const pageErrors = [];
    page.on('pageerror', (e) => pageErrors.push(String(e)));
    await page.goto(`http://127.0.0.1:${server.address().port}/worker-harness.html`);
    // The first message goes at once: the worker queues it until it is ready.
    await page.evaluate(() => harness.start());
    const worker = {
      post: (m) => page.evaluate((msg) => harness.post(msg), m),
      until: async (pred) => {
        const deadline = Date.now() + 30000;
        for (;;) {
          const ms = await page.evaluate(() => harness.received);
          if (pred(ms)) return ms;
          const errors = await page.evaluate(() => harness.errors);
          assert.deepStrictEqual(errors, [], 'the worker failed');
          if (Date.now() > deadline) throw new Error('the worker gave no answer');
          await new Promise((r) => setTimeout(r, 20));
        }
      },
    };
    const fromWorker = await session(worker);
    const client = nativeClient();
    const fromNative = await session(client);
    await new Promise((resolve) => client.child.on('exit', resolve));
    assert.deepStrictEqual(fromWorker, fromNative);
    assert.ok(fromWorker.full.data.length > 0 && fromWorker.symbols.length > 0);
    assert.deepStrictEqual(pageErrors, []);
  } finally {
    await context.close();
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
});
