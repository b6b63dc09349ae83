// The playground's local server: the types a browser needs for each file,
// and nothing outside the served folder whatever the request's path.
'use strict';

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { createServer } = require('../../web/serve.js');

let tmp, server, port;

// The status, type and body of a raw request for PATH (sent as written,
// so that dot segments and escapes reach the server unchanged).
function get(target, method = 'GET') {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port, method, path: target }, (res) => {
      let body = '';
      res.setEncoding('latin1');
      res.on('data', (d) => (body += d));
      res.on('end', () => resolve({ status: res.statusCode, type: res.headers['content-type'], body }));
    });
    req.on('error', reject);
    req.end();
  });
}

before(async () => {
  tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'wyn-serve-'));
  const site = path.join(tmp, 'site');
  fs.mkdirSync(path.join(site, 'examples'), { recursive: true });
  fs.writeFileSync(path.join(site, 'index.html'), '<!doctype html>');
  fs.writeFileSync(path.join(site, 'wyn-worker.wasm'), Buffer.from([0, 0x61, 0x73, 0x6d]));
  fs.writeFileSync(path.join(site, 'wyn-worker.js'), '//');
  fs.writeFileSync(path.join(site, 'examples', 'a.wyn'), 'program\n');
  fs.writeFileSync(path.join(tmp, 'secret.txt'), 'outside');
  server = createServer(site);
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  port = server.address().port;
});

after(() => {
  server.close();
  fs.rmSync(tmp, { recursive: true, force: true });
});

describe('serve.js', () => {
  const cases = [
    { path: '/', status: 200, type: /^text\/html/ },
    { path: '/wyn-worker.wasm', status: 200, type: /^application\/wasm$/ },
    { path: '/wyn-worker.js', status: 200, type: /^text\/javascript/ },
    { path: '/examples/a.wyn?x=1', status: 200, type: /^text\/plain/ },
    { path: '/examples/', status: 404 },
    { path: '/missing.js', status: 404 },
    { path: '/../secret.txt', outside: true },
    { path: '/%2e%2e/secret.txt', outside: true },
    { path: '/examples/..%2f..%2fsecret.txt', outside: true },
    { path: '/..%5csecret.txt', outside: true },
    { path: '/%00', status: [403, 404] },
    { path: '/%E0%A4%A', status: 400 },
  ];
  for (const t of cases) {
    it(t.path, async () => {
      const res = await get(t.path);
      if (t.outside) {
        assert.ok(res.status >= 400, `status ${res.status}`);
        assert.ok(!res.body.includes('outside'));
        return;
      }
      if (Array.isArray(t.status)) assert.ok(t.status.includes(res.status), `status ${res.status}`);
      else assert.equal(res.status, t.status);
      if (t.type) assert.match(res.type, t.type);
    });
  }

  it('answers HEAD without a body', async () => {
    const res = await get('/wyn-worker.wasm', 'HEAD');
    assert.equal(res.status, 200);
    assert.equal(res.body, '');
  });
});
