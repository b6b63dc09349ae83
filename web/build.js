// Builds the playground into one folder of static files: the bundled page,
// its style, the examples and the server's web worker with its wasm.
//   node web/build.js [--watch]
// WYN_WASM_WEB: where the worker build is (default build/wasm-web)
// WYN_WEB_OUT:  the folder to write (default build/web)
'use strict';

const fs = require('fs');
const path = require('path');
const esbuild = require('esbuild');

const root = path.resolve(__dirname, '..');
const from = path.resolve(root, process.env.WYN_WASM_WEB || 'build/wasm-web');
const out = path.resolve(root, process.env.WYN_WEB_OUT || 'build/web');

function examples() {
  const dir = path.join(root, 'examples');
  return fs
    .readdirSync(dir)
    .filter((n) => n.endsWith('.wyn'))
    .sort()
    .map((name) => ({ name, text: fs.readFileSync(path.join(dir, name), 'utf8') }));
}

// The examples as a module of the bundle, read when the page is built.
const examplesPlugin = {
  name: 'examples',
  setup(build) {
    build.onResolve({ filter: /^\.\/examples\.js$/ }, () => ({ path: 'examples', namespace: 'examples' }));
    build.onLoad({ filter: /.*/, namespace: 'examples' }, () => ({
      contents: `export const examples = ${JSON.stringify(examples())};`,
      loader: 'js',
    }));
  },
};

// The worker script and everything it loads; the marker file is not part.
function copyWorker() {
  if (!fs.existsSync(path.join(from, 'wyn-worker.js'))) {
    console.error(`web/build.js: no wyn-worker.js in ${from} (build the worker or set WYN_WASM_WEB)`);
    return false;
  }
  for (const name of fs.readdirSync(from)) {
    const src = path.join(from, name);
    if (name === 'READY' || !fs.statSync(src).isFile()) continue;
    fs.copyFileSync(src, path.join(out, name));
  }
  return true;
}

async function main() {
  fs.mkdirSync(out, { recursive: true });
  for (const name of ['index.html', 'playground.css']) fs.copyFileSync(path.join(__dirname, name), path.join(out, name));
  fs.mkdirSync(path.join(out, 'examples'), { recursive: true });
  for (const e of examples()) fs.writeFileSync(path.join(out, 'examples', e.name), e.text);
  await esbuild.build({
    entryPoints: [path.join(__dirname, 'src', 'main.js')],
    bundle: true,
    minify: true,
    format: 'iife',
    target: ['chrome100', 'firefox100', 'safari15'],
    outfile: path.join(out, 'playground.js'),
    plugins: [examplesPlugin],
    logLevel: 'warning',
  });
  const worker = copyWorker();
  console.log(`web/build.js: the playground is in ${path.relative(process.cwd(), out) || '.'}`);
  if (!worker) process.exitCode = 1;
}

main().catch((err) => {
  console.error(err.message || err);
  process.exitCode = 1;
});
