// Runs before the WebAssembly tool's loader, inside its scope, under Node.
// Node has a fetch of its own, which the loader would take to read
// wyn.wasm by URL: hiding it here makes the loader read the file.
var fetch;
