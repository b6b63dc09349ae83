// Runs before the WebAssembly tool's loader, inside its scope, under Node.

// Node has a fetch of its own, which the loader would take to read
// wyn.wasm by URL: hiding it makes the loader read the file.
var fetch;

// Node makes a pipe it has looked at non-blocking, so a read or write of a
// standard stream may find it not ready: wait a moment and try again, as a
// blocking call would have waited, instead of failing the program's call.
(function () {
  var fs = require('fs');
  var nap = new Int32Array(new SharedArrayBuffer(4));
  ['readSync', 'writeSync'].forEach(function (name) {
    var call = fs[name];
    fs[name] = function () {
      // A client reading a long answer drains the pipe within microseconds:
      // the first naps are short, then they grow to a millisecond.
      for (var ms = 0.02; ; ms = Math.min(ms * 2, 1)) {
        try {
          return call.apply(fs, arguments);
        } catch (e) {
          if (e.code !== 'EAGAIN') throw e;
          Atomics.wait(nap, 0, 0, ms);
        }
      }
    };
  });
})();

// The loader takes every standard stream for a terminal: tell it which are
// not, so that colours go only to a terminal. (Its poll fails on them: the
// server waits on its input through wyn_stdin_wait instead, below.)
Module['onRuntimeInitialized'] = function () {
  var tty = require('tty');
  for (var fd = 0; fd < 3; fd++) {
    var stream = FS.streams[fd];
    if (!stream) continue;
    if (tty.isatty(fd)) continue;
    stream.tty = undefined;
    // What the loader asks of a stream that is no terminal: its kind.
    var mode = 0;
    try {
      mode = require('fs').fstatSync(fd).mode;
    } catch (e) {
    }
    if (!stream.node) stream.node = { mode: mode, timestamp: Date.now() };
  }
};

// The server's input, read ahead by a worker thread into a ring shared
// with the program, so that the program can wait for it with a timeout
// (Node has no synchronous poll). Started by the first wait or read.
var wynStdin = {
  size: 1 << 20,
  start: function () {
    if (this.ctl) return;
    var threads = require('worker_threads');
    // [0] bytes written, [1] bytes read (both mod 2^32), [2] input ended.
    this.ctl = new Int32Array(new SharedArrayBuffer(12));
    this.data = new Uint8Array(new SharedArrayBuffer(this.size));
    var worker = new threads.Worker(
      '(' + wynStdinReader.toString() + ')(require("worker_threads").workerData)',
      { eval: true, workerData: { ctl: this.ctl, data: this.data } });
    worker.unref();
  },
  available: function () {
    return (Atomics.load(this.ctl, 0) - Atomics.load(this.ctl, 1)) | 0;
  },
  wait: function (ms) {
    this.start();
    var written = Atomics.load(this.ctl, 0);
    if (this.available() > 0 || Atomics.load(this.ctl, 2)) return 1;
    Atomics.wait(this.ctl, 0, written, ms < 0 ? Infinity : ms);
    return this.available() > 0 || Atomics.load(this.ctl, 2) ? 1 : 0;
  },
  read: function (buf, n) {
    while (!this.wait(-1)) {
    }
    var k = Math.min(this.available(), n);
    var from = (Atomics.load(this.ctl, 1) >>> 0) % this.size;
    // The bytes may wrap round the ring's end: at most two copies.
    var first = Math.min(k, this.size - from);
    HEAPU8.set(this.data.subarray(from, from + first), buf);
    HEAPU8.set(this.data.subarray(0, k - first), buf + first);
    Atomics.add(this.ctl, 1, k);
    Atomics.notify(this.ctl, 1);
    return k;
  },
};

// The worker: reads standard input until its end and hands each chunk on
// once the ring has room for it. A pipe or socket is read as a stream, which
// never blocks a thread: Node waits at exit for a read that does, and the
// client may keep the input open after the server has ended.
function wynStdinReader(shared) {
  var fs = require('fs');
  var ctl = shared.ctl, data = shared.data, size = data.length;
  function put(bytes) {
    for (var off = 0; off < bytes.length;) {
      var read = Atomics.load(ctl, 1);
      var written = Atomics.load(ctl, 0);
      var room = size - ((written - read) | 0);
      if (room === 0) {
        Atomics.wait(ctl, 1, read);
        continue;
      }
      var k = Math.min(room, bytes.length - off);
      var at = (written >>> 0) % size;
      var first = Math.min(k, size - at);
      data.set(bytes.subarray(off, off + first), at);
      data.set(bytes.subarray(off + first, off + k), 0);
      off += k;
      Atomics.add(ctl, 0, k);
      Atomics.notify(ctl, 0);
    }
  }
  function end() {
    Atomics.store(ctl, 2, 1);
    Atomics.add(ctl, 0, 0);
    Atomics.notify(ctl, 0);
  }
  var kind = null;
  try {
    kind = fs.fstatSync(0);
  } catch (e) {
  }
  if (kind && (kind.isFIFO() || kind.isSocket())) {
    var input = new (require('net').Socket)({ fd: 0, readable: true, writable: false });
    input.on('data', put);
    input.on('end', end);
    input.on('error', end);
    return;
  }
  var chunk = Buffer.alloc(65536);
  (function next() {
    fs.read(0, chunk, 0, chunk.length, null, function (err, n) {
      if (err && err.code === 'EAGAIN') return setTimeout(next, 5);
      if (err || n <= 0) return end();
      put(chunk.subarray(0, n));
      next();
    });
  })();
}

// The program's end is the process's, whatever the input reader is doing.
Module['onExit'] = function (code) {
  process.exit(code);
};
