// Draws the extension's icon, icon.png: a dark rounded square with three
// coloured bars, as lines of a coloured script. Run from the extension's
// folder with `node tools/icon.js` when the picture changes; the PNG is
// committed so that packaging needs nothing but Node.
'use strict';

const fs = require('node:fs');
const zlib = require('node:zlib');

const SIZE = 128;
const palette = [
  [0, 0, 0, 0],
  [0x1e, 0x3a, 0x5f, 255],
  [0x7f, 0xd1, 0xff, 255],
  [0xff, 0xcc, 0x66, 255],
  [0x9b, 0xe3, 0x9b, 255],
];
// Rounded rectangles: left, top, right, bottom (inclusive), corner radius, colour.
const shapes = [
  [4, 4, 123, 123, 18, 1],
  [22, 30, 78, 42, 6, 2],
  [36, 58, 104, 70, 6, 3],
  [36, 86, 90, 98, 6, 4],
];

function inside([l, t, r, b, rad], x, y) {
  if (x < l || x > r || y < t || y > b) return false;
  const cx = Math.min(Math.max(x, l + rad), r - rad);
  const cy = Math.min(Math.max(y, t + rad), b - rad);
  return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad;
}

const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(buf) {
  let c = 0xffffffff;
  for (const byte of buf) c = crcTable[(c ^ byte) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}
function chunk(type, data) {
  const len = Buffer.alloc(4);
  len.writeUInt32BE(data.length);
  const body = Buffer.concat([Buffer.from(type, 'ascii'), data]);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(body));
  return Buffer.concat([len, body, crc]);
}

// An indexed image: one filter byte, then one palette index a pixel.
const rows = [];
for (let y = 0; y < SIZE; y++) {
  const row = Buffer.alloc(SIZE + 1);
  for (let x = 0; x < SIZE; x++) {
    for (const s of shapes) if (inside(s, x, y)) row[x + 1] = s[5];
  }
  rows.push(row);
}
const header = Buffer.alloc(13);
header.writeUInt32BE(SIZE, 0);
header.writeUInt32BE(SIZE, 4);
header[8] = 8; // bits a pixel
header[9] = 3; // indexed colour
const png = Buffer.concat([
  Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
  chunk('IHDR', header),
  chunk('PLTE', Buffer.from(palette.flatMap((c) => c.slice(0, 3)))),
  chunk('tRNS', Buffer.from(palette.map((c) => c[3]))),
  chunk('IDAT', zlib.deflateSync(Buffer.concat(rows), { level: 9 })),
  chunk('IEND', Buffer.alloc(0)),
]);
fs.writeFileSync('icon.png', png);
