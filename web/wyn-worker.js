// The language server as a dedicated web worker. The page posts each
// JSON-RPC message as a plain object (worker.postMessage(message)) and
// gets each of the server's the same way (event.data), as a browser
// language client's message reader and writer expect. The server starts
// when the worker loads; what is posted before its WebAssembly is ready
// waits in order. The work the server defers (the whole-document check
// once the client pauses, the workspace walk) runs on the worker's timers.
//
// This script is linked in front of the program's loader (web/worker), so
// Module is the loader's and the program's exports (_wyn_worker_*) exist
// once the runtime is ready. The WebAssembly file is looked for beside the
// script, or where the worker's URL names it: wyn-worker.js?wasm=<url>.

var wynWorker = (function () {
  var queue = [];
  var ready = false;
  var closed = false;
  var timer = null;
  var encoder = new TextEncoder();

  function log(type, text) {
    self.postMessage({
      jsonrpc: '2.0',
      method: 'window/logMessage',
      params: { type: type, message: 'wyn: ' + text },
    });
  }

  function finish() {
    closed = true;
    if (timer !== null) clearTimeout(timer);
    timer = null;
    queue = [];
    try {
      _wyn_worker_close();
    } catch (e) {
    }
    self.close();
  }

  // The deferred work: the server says when it is next due.
  function tick() {
    timer = null;
    if (closed) return;
    var ms;
    try {
      ms = _wyn_worker_tick();
    } catch (e) {
      return fail(e);
    }
    if (ms >= 0) timer = setTimeout(tick, ms);
  }

  function fail(e) {
    log(1, 'the server stopped: ' + (e && e.message ? e.message : String(e)));
    finish();
  }

  function feed(data) {
    // A string is taken for a body already written; anything else is
    // written out (what cannot be reaches the server as nothing, which it
    // answers as a message that is not JSON).
    var text = typeof data === 'string' ? data : undefined;
    if (text === undefined) {
      try {
        text = JSON.stringify(data);
      } catch (e) {
      }
    }
    var bytes = encoder.encode(typeof text === 'string' ? text : '');
    var at = _malloc(bytes.length + 1);
    if (!at) {
      log(1, 'no memory for a message of ' + bytes.length + ' bytes');
      return;
    }
    var status;
    try {
      HEAPU8.set(bytes, at);
      status = _wyn_worker_feed(at, bytes.length);
    } catch (e) {
      return fail(e);
    } finally {
      _free(at);
    }
    if (status >= 0) return finish();
    // Straight after the message, but behind any already posted.
    if (timer !== null) clearTimeout(timer);
    timer = setTimeout(tick, 0);
  }

  self.onmessage = function (event) {
    if (closed) return;
    if (ready)
      feed(event.data);
    else
      queue.push(event.data);
  };

  Module['locateFile'] = function (path, dir) {
    var named = null;
    try {
      named = new URLSearchParams(self.location.search).get('wasm');
    } catch (e) {
    }
    return named && /\.wasm$/.test(path) ? named : dir + path;
  };

  Module['onRuntimeInitialized'] = function () {
    if (!_wyn_worker_open()) return fail(new Error('could not start'));
    ready = true;
    while (queue.length && !closed) feed(queue.shift());
  };

  Module['onAbort'] = function (what) {
    if (!closed) fail(new Error(String(what)));
  };

  return {
    // A message the server sent, as JSON text.
    receive: function (text) {
      var message;
      try {
        message = JSON.parse(text);
      } catch (e) {
        log(1, 'the server sent a message that is not JSON');
        return;
      }
      self.postMessage(message);
    },
  };
})();
