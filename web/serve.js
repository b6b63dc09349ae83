// Serves the built playground on http://localhost:8023/ (or PORT):
//   node web/serve.js [folder]
// Static files only, with the types a browser insists on (a .wasm must be
// application/wasm to be compiled as it streams in). Nothing outside the
// folder is served, whatever the request's path.
'use strict';

const fs = require('fs');
const http = require('http');
const path = require('path');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json',
  '.wasm': 'application/wasm',
  '.wyn': 'text/plain; charset=utf-8',
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
};

function createServer(dir) {
  const base = path.resolve(dir);
  return http.createServer((req, res) => {
    let rel;
    try {
      rel = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    } catch {
      res.writeHead(400).end();
      return;
    }
    if (rel.endsWith('/')) rel += 'index.html';
    const file = path.resolve(base, '.' + rel);
    if ((file !== base && !file.startsWith(base + path.sep)) || rel.includes('\0')) {
      res.writeHead(403).end();
      return;
    }
    fs.stat(file, (err, st) => {
      if (err || !st.isFile()) {
        res.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
        return;
      }
      res.writeHead(200, {
        'Content-Type': TYPES[path.extname(file).toLowerCase()] || 'application/octet-stream',
        'Content-Length': st.size,
        'Cache-Control': 'no-cache',
      });
      if (req.method === 'HEAD') return res.end();
      fs.createReadStream(file)
        .on('error', () => res.destroy())
        .pipe(res);
    });
  });
}

module.exports = { createServer };

if (require.main === module) {
  const dir = process.argv[2] || path.join(__dirname, '..', 'build', 'web');
  const port = Number(process.env.PORT || 8023);
  createServer(dir).listen(port, '127.0.0.1', () => console.log(`the playground: http://localhost:${port}/`));
}
