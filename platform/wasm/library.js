// The calls the program makes into its launcher (platform/wasm/pre.js):
// the server's standard input, waited on and read through a worker thread.
mergeInto(LibraryManager.library, {
  wyn_stdin_wait: function (ms) {
    return wynStdin.wait(ms);
  },
  wyn_stdin_read: function (buf, n) {
    return wynStdin.read(buf, n);
  },
});
