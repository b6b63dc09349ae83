// Which server the desktop extension runs, in this order:
//   1. wyn.path, when the user has set it (any non-empty value, as given);
//   2. a native wyn the package carries for this system
//      (server/<platform>-<arch>/wyn, wyn.exe on Windows);
//   3. wyn on PATH: a tool the user installed is the native build, faster
//      than the WebAssembly one and with its code-page guesser;
//   4. the WebAssembly server the package carries (server/wasm/wyn.js), run
//      by the extension host's own Node, so it works on any system.
// Nothing here touches the editor: the caller passes what it needs to look
// at, so every choice can be checked on any machine.
'use strict';

const path = require('path');

// The full name of the program NAME on SEARCH (a PATH value), or null.
// On Windows a program is NAME with one of the PATHEXT endings, as its
// shell takes it; a file named NAME alone is no program there.
function findOnPath(name, { search, pathext, platform, isProgram }) {
  const win = platform === 'win32';
  const sep = win ? ';' : ':';
  const endings = win ? (pathext || '.COM;.EXE;.BAT;.CMD').split(';').filter(Boolean) : [''];
  const names = endings.map((e) => name + e);
  for (const dir of (search || '').split(sep)) {
    // An empty entry means the current folder, which the extension host's
    // is not the user's: it is skipped rather than guessed at.
    if (!dir) continue;
    for (const n of names) {
      const file = (win ? path.win32 : path.posix).join(dir, n);
      if (isProgram(file)) return file;
    }
  }
  return null;
}

// The server to run: { how, command } for a program or { how, module } for
// the WebAssembly launcher, with LABEL saying which for the output channel;
// null when there is none. DIR is the extension's folder.
function chooseServer({ setting, dir, platform, arch, search, pathext, isProgram, isFile }) {
  if (typeof setting === 'string' && setting.trim() !== '') {
    return { how: 'setting', command: setting, label: `${setting} (setting wyn.path)` };
  }
  const paths = platform === 'win32' ? path.win32 : path.posix;
  const exe = platform === 'win32' ? 'wyn.exe' : 'wyn';
  const bundled = paths.join(dir, 'server', `${platform}-${arch}`, exe);
  if (isProgram(bundled)) return { how: 'bundled', command: bundled, label: `${bundled} (carried by the extension)` };
  const found = findOnPath('wyn', { search, pathext, platform, isProgram });
  if (found) return { how: 'path', command: found, label: `${found} (found on PATH)` };
  const wasm = paths.join(dir, 'server', 'wasm', 'wyn.js');
  if (isFile(wasm)) {
    return { how: 'wasm', module: wasm, label: `${wasm} (WebAssembly, in the editor's own Node)` };
  }
  return null;
}

module.exports = { chooseServer, findOnPath };
