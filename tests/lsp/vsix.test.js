// The VS Code extension's manifest and package: every command has a title
// and a key's command exists, the settings that name a program are kept from
// untrusted workspaces, and the package (WYN_VSIX, which scripts/test-lsp.sh
// makes) holds the two bundles (desktop and browser), the grammar, the
// WebAssembly servers and what the manifest names, nothing else, with
// bundles that need only the editor's API (and the desktop one Node's own
// modules).
'use strict';

const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const Module = require('node:module');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');
const { root } = require('./client.js');

const dir = path.join(root, 'editors', 'vscode');
const manifest = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));
const vsix = process.env.WYN_VSIX;

// The entries of a zip file by name: { method, data } with data as stored.
function readZip(file) {
  const zip = fs.readFileSync(file);
  const end = zip.lastIndexOf(Buffer.from([0x50, 0x4b, 0x05, 0x06]));
  assert.ok(end >= 0, `${file} is no zip`);
  const count = zip.readUInt16LE(end + 10);
  let at = zip.readUInt32LE(end + 16);
  const entries = new Map();
  for (let k = 0; k < count; k++) {
    assert.equal(zip.readUInt32LE(at), 0x02014b50, 'central directory entry');
    const method = zip.readUInt16LE(at + 10);
    const size = zip.readUInt32LE(at + 20);
    const nameLen = zip.readUInt16LE(at + 28);
    const extraLen = zip.readUInt16LE(at + 30);
    const commentLen = zip.readUInt16LE(at + 32);
    const local = zip.readUInt32LE(at + 42);
    const name = zip.toString('utf8', at + 46, at + 46 + nameLen);
    const dataAt = local + 30 + zip.readUInt16LE(local + 26) + zip.readUInt16LE(local + 28);
    entries.set(name, { method, data: zip.subarray(dataAt, dataAt + size) });
    at += 46 + nameLen + extraLen + commentLen;
  }
  return entries;
}

function unpacked({ method, data }) {
  return method === 8 ? zlib.inflateRawSync(data) : data;
}

describe('VS Code manifest', () => {
  const { commands, keybindings, grammars, configuration } = manifest.contributes;
  const props = configuration.properties;

  it('commands have titles, and keys and menus name contributed commands', () => {
    const ids = new Set(commands.map((c) => c.command));
    for (const want of ['wyn.expand', 'wyn.restartServer', 'wyn.showOutput']) assert.ok(ids.has(want), want);
    for (const c of commands) assert.ok(c.title && c.category, `${c.command} has no title`);
    const named = [...keybindings, ...Object.values(manifest.contributes.menus || {}).flat()];
    for (const k of named) assert.ok(ids.has(k.command), `${k.command} is no command`);
    const key = keybindings.find((k) => k.command === 'wyn.expand');
    assert.ok(key && key.key && key.mac, 'no key for wyn.expand');
    assert.match(key.when, /editorLangId == wyn/);
  });

  it('settings: scopes, trace, and what an untrusted workspace may not set', () => {
    const cases = [
      ['wyn.path', 'machine-overridable'],
      ['wyn.configFile', 'machine-overridable'],
      ['wyn.includeDirs', 'machine-overridable'],
    ];
    for (const [key, scope] of cases) assert.equal(props[key] && props[key].scope, scope, key);
    assert.deepEqual(props['wyn.trace.server'].enum, ['off', 'messages', 'verbose']);
    assert.equal(props['wyn.trace.server'].default, 'off');
    const trust = manifest.capabilities.untrustedWorkspaces;
    assert.equal(trust.supported, 'limited');
    assert.deepEqual(trust.restrictedConfigurations.sort(), ['wyn.configFile', 'wyn.path']);
    assert.ok(trust.description);
    assert.ok(manifest.capabilities.virtualWorkspaces.description);
  });

  it('grammar, icon, licence and repository; main is the bundle', () => {
    assert.deepEqual(grammars, [{ language: 'wyn', scopeName: 'source.wyn', path: './syntaxes/wyn.tmLanguage.json' }]);
    assert.ok(fs.existsSync(path.join(dir, manifest.icon)), 'no icon');
    assert.ok(fs.existsSync(path.join(dir, 'LICENSE')), 'no licence');
    assert.equal(manifest.license, 'MIT');
    assert.ok(manifest.repository && manifest.repository.url);
    assert.equal(manifest.main, './dist/extension.js');
    assert.equal(manifest.browser, './dist/web.js');
    assert.ok(manifest.devDependencies.esbuild);
    assert.match(manifest.scripts['vscode:prepublish'], /build/);
  });
});

describe('VS Code package', { skip: !vsix && 'WYN_VSIX is not set (scripts/test-lsp.sh sets it)' }, () => {
  it('holds the bundles, the grammar, the servers and what the manifest names, nothing else', () => {
    const names = [...readZip(vsix).keys()].filter((n) => n.startsWith('extension/')).sort();
    // The web worker comes from another build, carried when it is there.
    const web = process.env.WYN_WEB_DIR || path.join(root, 'build', 'wasm-web');
    const workerFiles = fs.existsSync(path.join(web, 'wyn-worker.js'))
      ? ['wyn-worker.js', ...fs.readdirSync(web).filter((f) => f.endsWith('.wasm'))]
      : [];
    const worker = workerFiles.map((f) => `extension/server/web/${f}`);
    const want = [
      'extension/LICENSE.txt',
      'extension/README.md',
      `extension/${manifest.icon}`,
      'extension/dist/extension.js',
      'extension/dist/web.js',
      'extension/server/wasm/wyn.js',
      'extension/server/wasm/wyn.wasm',
      ...worker,
      'extension/language-configuration.json',
      'extension/package.json',
      `extension/${grammarPath()}`,
    ].sort();
    assert.deepEqual(names, want);
  });

  for (const bundle of ['extension.js', 'web.js']) {
    const outside = bundle === 'extension.js' ? 'the editor API and Node modules' : 'the editor API';
    it(`its bundle ${bundle} loads with only ${outside} outside it`, () => {
      loadsAlone(bundle);
    });
  }
});

// Loads the package's dist/BUNDLE under a stand-in of the editor's API and
// checks that it needs no module it does not hold; the browser one needs
// not even Node's.
function loadsAlone(bundle) {
  const entries = readZip(vsix);
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'wyn-vsix-'));
  const file = path.join(tmp, bundle);
  fs.writeFileSync(file, unpacked(entries.get(`extension/dist/${bundle}`)));
  const wanted = new Set();
  // Any name of the editor's API is a class, as the language client
  // extends some of them as it loads.
  const api = new Proxy({}, { get: (cache, k) => (cache[k] ??= class {}) });
  const load = Module._load;
  Module._load = function (request, ...rest) {
    wanted.add(request);
    return request === 'vscode' ? api : load.call(this, request, ...rest);
  };
  try {
    const ext = require(file);
    assert.equal(typeof ext.activate, 'function');
    assert.equal(typeof ext.deactivate, 'function');
  } finally {
    Module._load = load;
    fs.rmSync(tmp, { recursive: true, force: true });
  }
  const node = bundle === 'extension.js';
  const outside = [...wanted].filter((r) => r !== 'vscode' && !(node && Module.isBuiltin(r)) && r !== file);
  assert.deepEqual(outside, [], 'the bundle needs modules it does not hold');
  // The manifest in the package is the one in the source tree.
  const packed = JSON.parse(unpacked(entries.get('extension/package.json')));
  assert.deepEqual(packed.contributes, manifest.contributes);
  assert.equal(packed.browser, manifest.browser);
}

function grammarPath() {
  return manifest.contributes.grammars[0].path.replace(/^\.\//, '');
}
