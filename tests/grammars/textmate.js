// Tokenizes scripts with an exported TextMate grammar through the engine VS
// Code runs (vscode-textmate on vscode-oniguruma), line by line with the rule
// stack carried over, and prints for each script one JSON line: the category
// of every character (code point) of its text with CRs left out, line breaks
// included as null.
// Usage: node textmate.js GRAMMAR.json SCRIPT...
'use strict';
const fs = require('fs');
const path = require('path');
const vsctm = require('vscode-textmate');
const oniguruma = require('vscode-oniguruma');

// Innermost scope first; the first prefix that fits names the category.
const SCOPES = [
  ['comment', 'comment'], ['string', 'string'], ['constant.numeric', 'number'],
  ['constant.language', 'constant'], ['keyword.control', 'keyword'],
  ['support.function', 'function'], ['keyword.operator', 'operator'],
];

function category(scopes) {
  for (let i = scopes.length - 1; i >= 0; i--)
    for (const [prefix, cat] of SCOPES)
      if (scopes[i] === prefix || scopes[i].startsWith(prefix + '.')) return cat;
  return null;
}

async function main() {
  const [grammarPath, ...scripts] = process.argv.slice(2);
  const wasm = fs.readFileSync(path.join(path.dirname(require.resolve('vscode-oniguruma')), 'onig.wasm'));
  await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const registry = new vsctm.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (sources) => new oniguruma.OnigScanner(sources),
      createOnigString: (s) => new oniguruma.OnigString(s),
    }),
    loadGrammar: async () => vsctm.parseRawGrammar(fs.readFileSync(grammarPath, 'utf8'), grammarPath),
  });
  const grammar = await registry.loadGrammar('source.wyn');
  for (const script of scripts) {
    const text = fs.readFileSync(script, 'utf8').replace(/\r/g, '');
    const out = [];
    let stack = vsctm.INITIAL;
    text.split('\n').forEach((line, n) => {
      if (n > 0) out.push(null);
      const r = grammar.tokenizeLine(line, stack, 0);
      stack = r.ruleStack;
      const units = new Array(line.length).fill(null);
      for (const t of r.tokens) {
        const cat = category(t.scopes);
        for (let i = t.startIndex; i < Math.min(t.endIndex, line.length); i++) units[i] = cat;
      }
      // Offsets count UTF-16 units; the reference counts code points.
      for (let i = 0; i < line.length; i++) {
        out.push(units[i]);
        const c = line.charCodeAt(i);
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < line.length) i++;
      }
    });
    console.log(JSON.stringify(out));
  }
}

main().catch((e) => {
  console.error(e.stack || String(e));
  process.exit(2);
});
