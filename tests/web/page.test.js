// The playground page in headless Chromium, driven as a user does: keys
// typed into the editor, buttons clicked, and what the page then shows
// (colours, outline, cursor, diagnostics) compared with the native tool's
// answer for the same text. Prints the load time to first colours on a
// long script and the compressed size of what the page downloads, and
// keeps a screenshot of the page.
//   WYN_WEB_OUT   the built page (default build/web)
//   WYN_TOOL      the native tool for the expected answers (build/linux/wyn)
//   WYN_PAGE_SERVER=native runs the page against `WYN_TOOL lsp` instead of
//                 its worker, the same messages relayed by the test
//   WYN_PAGE_SHOTS where the screenshot goes (default build/web-test)
'use strict';

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const { chromium } = require('playwright-core');
const { createServer } = require('../../web/serve.js');

const root = path.resolve(__dirname, '../..');
const site = path.resolve(root, process.env.WYN_WEB_OUT || 'build/web');
const tool = path.resolve(root, process.env.WYN_TOOL || 'build/linux/wyn');
const shots = path.resolve(root, process.env.WYN_PAGE_SHOTS || 'build/web-test');
const native = process.env.WYN_PAGE_SERVER === 'native';

let browser, server, base, tmp;

// The language server as a child process standing in for the worker: the
// page's postMessage calls come here and the answers go back as messages.
async function relayToNative(page) {
  const proc = spawn(tool, ['lsp'], { stdio: ['pipe', 'pipe', 'ignore'] });
  let buf = Buffer.alloc(0);
  proc.stdout.on('data', (d) => {
    buf = Buffer.concat([buf, d]);
    for (;;) {
      const head = buf.indexOf('\r\n\r\n');
      if (head < 0) return;
      const len = Number(/Content-Length: *(\d+)/i.exec(buf.slice(0, head).toString())[1]);
      if (buf.length < head + 4 + len) return;
      const body = buf.slice(head + 4, head + 4 + len).toString();
      buf = buf.slice(head + 4 + len);
      page.evaluate((m) => window.wynFromServer(m), JSON.parse(body)).catch(() => {});
    }
  });
  await page.exposeFunction('wynToServer', (msg) => {
    const body = Buffer.from(JSON.stringify(msg));
    proc.stdin.write(`Content-Length: ${body.length}\r\n\r\n`);
    proc.stdin.write(body);
  });
  await page.addInitScript(() => {
    const Real = window.Worker;
    window.Worker = function (url, opts) {
      if (!String(url).endsWith('wyn-worker.js')) return new Real(url, opts);
      const w = { onmessage: null, onerror: null, postMessage: (m) => window.wynToServer(m), terminate() {} };
      window.wynFromServer = (m) => w.onmessage && w.onmessage({ data: m });
      return w;
    };
  });
  page.on('close', () => proc.kill());
}

async function newPage() {
  const page = await browser.newPage();
  page.on('pageerror', (err) => console.error(`page error: ${err.message}`));
  if (native) await relayToNative(page);
  return page;
}

// A new page on TEXT, once its first colours are on screen.
async function openPage(text, name = 'script.wyn') {
  const page = await newPage();
  await page.route(`**/t/${name}`, (route) => route.fulfill({ body: text, contentType: 'text/plain' }));
  await page.goto(`${base}/?open=t/${name}`);
  await page.waitForSelector('body[data-coloured]', { timeout: 30000 });
  return page;
}

const text = (page) => page.evaluate(() => window.wynView.state.doc.toString());

// Places the cursor at LINE:COL (1-based, in characters).
async function cursorTo(page, line, col) {
  await page.evaluate(
    ([l, c]) => {
      const v = window.wynView;
      v.dispatch({ selection: { anchor: v.state.doc.line(l).from + c - 1 } });
      v.focus();
    },
    [line, col],
  );
}

const cursor = (page) =>
  page.evaluate(() => {
    const s = window.wynView.state;
    const at = s.selection.main.head;
    const l = s.doc.lineAt(at);
    return `${l.number}:${at - l.from + 1}`;
  });

// The native tool's answer for INPUT (as the file %): its output, or
// what it says on stderr when asked.
function wyn(args, input, stream = 'stdout') {
  const file = path.join(tmp, 'in.wyn');
  fs.writeFileSync(file, input);
  const r = spawnSync(tool, args.map((a) => (a === '%' ? file : a)), { encoding: 'utf8' });
  assert.ok(r.status === 0 || r.status === 1, `${tool} ${args.join(' ')}: ${r.stderr || r.error}`);
  return r[stream];
}

// Waits for the text to settle on WANT; the server's edits come after
// the key that asked for them.
async function waitForText(page, want) {
  await page.waitForFunction((w) => window.wynView.state.doc.toString() === w, want, { timeout: 10000 }).catch(() => {});
  assert.equal(await text(page), want);
}

before(async () => {
  assert.ok(fs.existsSync(path.join(site, 'playground.js')), `no page in ${site} (node web/build.js)`);
  if (!native) assert.ok(fs.existsSync(path.join(site, 'wyn-worker.js')), `no worker in ${site}`);
  tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'wyn-page-'));
  server = createServer(site);
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  base = `http://127.0.0.1:${server.address().port}`;
  // A persistent context is how the browser gets its own new, empty
  // profile folder.
  browser = await chromium.launchPersistentContext(path.join(tmp, 'profile'), {
    executablePath: process.env.WYN_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1200, height: 800 },
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.close();
  if (tmp) fs.rmSync(tmp, { recursive: true, force: true });
});

describe('the playground as one types', () => {
  it('colours the lines below an opened comment as comment', async () => {
    const page = await openPage('program\n    x = 1;\n    y = 2;\nendprogram\n');
    const commented = (n) =>
      page.evaluate((i) => {
        const line = document.querySelectorAll('.cm-content .cm-line')[i];
        const walker = document.createTreeWalker(line, NodeFilter.SHOW_TEXT);
        for (let t = walker.nextNode(); t; t = walker.nextNode()) {
          if (t.textContent.trim() && !t.parentElement.closest('.tk-comment')) return false;
        }
        return true;
      }, n);
    assert.equal(await commented(2), false);
    await cursorTo(page, 2, 5);
    const version = await page.evaluate(() => document.body.dataset.coloured);
    await page.keyboard.type('/*');
    await page.waitForFunction((v) => document.body.dataset.coloured !== v, version);
    await page.waitForFunction(() => document.querySelector('.cm-content .cm-line:nth-child(3) .tk-comment'));
    assert.equal(await commented(1), true);
    assert.equal(await commented(2), true);
    await page.close();
  });

  it('colours what several cursors typed at once where it was typed', async () => {
    // One keystroke at two cursors on one line is one change of two parts;
    // the server must get both where the editor put them.
    const page = await openPage('program\n    x = 1;\nendprogram\n');
    await page.evaluate(() => {
      const v = window.wynView;
      const at = v.state.doc.line(2).from + 4;
      const Selection = v.state.selection.constructor;
      v.dispatch({ selection: Selection.create([Selection.cursor(at), Selection.cursor(at + 1)]) });
      v.focus();
    });
    await page.keyboard.type('"');
    assert.equal(await text(page), 'program\n    "x" = 1;\nendprogram\n');
    await page.waitForFunction(() => [...document.querySelectorAll('.tk-string')].some((e) => e.textContent === '"x"'), null, { timeout: 10000 });
    await page.close();
  });

  it('adds a routine to the outline as it is typed', async () => {
    const page = await openPage('program\nendprogram\n\nfunction First()\nbegin\nend;\n');
    await page.waitForFunction(() => document.querySelectorAll('#outline button').length > 0);
    await cursorTo(page, 6, 5);
    await page.keyboard.type('\n\nfunction Second()\nbegin\nend;');
    await page.waitForFunction(() => [...document.querySelectorAll('#outline button')].some((b) => b.textContent === 'Second'));
    // A click on the outline moves the cursor to the routine.
    await page.locator('#outline button', { hasText: 'Second' }).click();
    assert.equal((await cursor(page)).split(':')[0], '8');
    await page.close();
  });

  const expansions = [
    { text: 'program\n    while\nendprogram\n', at: [2, 10], key: 'Control+Alt+E' },
    { text: 'program\n    repeat\nendprogram\n', at: [2, 11], key: 'Tab' },
    { text: 'program\n\tAskYesNo\nendprogram\n', at: [2, 10], key: 'Control+Alt+E' },
    { text: 'program\n\tAskYesNo\nendprogram\n', at: [2, 10], key: 'Tab' },
  ];
  for (const t of expansions) {
    it(`expands ${JSON.stringify(t.text.split('\n')[1])} on ${t.key} with the cursor at the template's mark`, async () => {
      const page = await openPage(t.text);
      await cursorTo(page, ...t.at);
      const want = wyn(['expand', '%', t.at.join(':')], t.text);
      const mark = wyn(['expand', '--cursor', '%', t.at.join(':')], t.text, 'stderr');
      await page.keyboard.press(t.key);
      await waitForText(page, want);
      assert.equal(await cursor(page), mark.trim());
      await page.close();
    });
  }

  it('keeps Tab a tab after a word that names no template', async () => {
    const page = await openPage('program\n    nothing\nendprogram\n');
    await cursorTo(page, 2, 12);
    await page.keyboard.press('Tab');
    await waitForText(page, 'program\n    nothing\t\nendprogram\n');
    await page.close();
  });

  const enters = ['    if (a) then', '    while (i < 3)', 'begin', 'program'];
  for (const line of enters) {
    it(`indents the line after ${JSON.stringify(line)} on Enter`, async () => {
      const before = `program\n${line}\nendprogram\n`.replace('program\nprogram', 'program');
      const lines = before.split('\n');
      const n = lines.indexOf(line) + 1;
      const page = await openPage(before);
      await cursorTo(page, n, line.length + 1);
      await page.keyboard.press('Enter');
      const want = wyn(['indent', '%', `${n}:${line.length + 1}`], before);
      await waitForText(page, want);
      // The cursor is after the new line's indentation.
      const indent = /^[ \t]*/.exec(want.split('\n')[n])[0];
      assert.equal(await cursor(page), `${n + 1}:${indent.length + 1}`);
      await page.close();
    });
  }

  it('shows a diagnostic for a block left open, and drops it once closed', async () => {
    const page = await openPage('program\n    x = 1;\nendprogram\n');
    await cursorTo(page, 2, 11);
    await page.keyboard.type('\nif (x) then\nx = 2;');
    await page.waitForSelector('.cm-lintRange-error', { timeout: 10000 });
    await page.keyboard.type('\nendif;');
    await page.waitForFunction(() => !document.querySelector('.cm-lintRange-error'), null, { timeout: 10000 });
    await page.close();
  });

  it('formats the script as the tool does', async () => {
    const before = 'program\nx = 1;\n  if (x) then\ny=2;\n endif;\nendprogram\n';
    const page = await openPage(before);
    const want = wyn(['format', '--indent=tab', '%'], before);
    await page.click('#format');
    await waitForText(page, want);
    // The edits reached the server as made: formatting again and typing
    // after it change nothing more than the typing.
    await page.click('#format');
    await cursorTo(page, 6, 11);
    await page.keyboard.type('\n// end');
    await page.click('#format');
    await waitForText(page, `${want}// end\n`);
    await page.evaluate(() => new Promise((r) => setTimeout(r, 300)));
    assert.equal(await text(page), `${want}// end\n`);
    await page.close();
  });
});

describe('the page around the editor', () => {
  it('opens a file from the disk, saves it as a download, and picks an example', async () => {
    const page = await openPage('program\nendprogram\n');
    const file = path.join(tmp, 'opened.wyn');
    fs.writeFileSync(file, 'function Opened()\nbegin\nend;\n');
    await page.setInputFiles('#open', file);
    await page.waitForFunction(() => [...document.querySelectorAll('#outline button')].some((b) => b.textContent === 'Opened'));
    await cursorTo(page, 3, 5);
    await page.keyboard.type('\n// edited');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
    assert.equal(download.suggestedFilename(), 'opened.wyn');
    const saved = path.join(tmp, 'saved.wyn');
    await download.saveAs(saved);
    assert.equal(fs.readFileSync(saved, 'utf8'), 'function Opened()\nbegin\nend;\n// edited\n');
    const name = fs.readdirSync(path.join(root, 'examples')).filter((n) => n.endsWith('.wyn'))[0];
    await page.selectOption('#examples', name);
    await waitForText(page, fs.readFileSync(path.join(root, 'examples', name), 'utf8'));
    await page.close();
  });

  it('switches between light and dark', async () => {
    const page = await openPage('program\nendprogram\n');
    const background = () => page.evaluate(() => getComputedStyle(document.querySelector('.cm-editor')).backgroundColor);
    const first = await background();
    await page.click('#theme');
    assert.notEqual(await background(), first);
    await page.click('#theme');
    assert.equal(await background(), first);
    await page.close();
  });
});

describe('figures', () => {
  it('the first colours of a long script, the download size and a screenshot', async () => {
    // A script of about 3,500 lines: the largest example's routines over
    // and over, each copy under its own names.
    const examples = fs.readdirSync(path.join(root, 'examples')).filter((n) => n.endsWith('.wyn'));
    const read = (n) => fs.readFileSync(path.join(root, 'examples', n), 'utf8');
    const name = examples.sort((a, b) => read(b).length - read(a).length)[0];
    const largest = read(name);
    const lines = [];
    for (let k = 0; lines.length < 3500; k++) lines.push(...largest.replace(/\b(function\s+\w+)/g, `$1_${k}`).split('\n'));
    const page = await openPage(lines.join('\n'), 'long.wyn');
    const first = await page.evaluate(() => window.wynFirstColours);
    await page.close();

    let raw = 0,
      packed = 0;
    for (const name of fs.readdirSync(site)) {
      if (!/\.(js|wasm|css|html)$/.test(name)) continue;
      const data = fs.readFileSync(path.join(site, name));
      raw += data.length;
      packed += zlib.gzipSync(data, { level: 9 }).length;
    }
    console.log(`page: first colours of a ${lines.length}-line script ${first.toFixed(0)} ms after navigation`);
    console.log(`page: code ${(raw / 1024).toFixed(0)} KiB, ${(packed / 1024).toFixed(0)} KiB gzipped`);
    assert.ok(first > 0);

    const shot = await newPage();
    await shot.goto(`${base}/?example=${name}`);
    await shot.waitForSelector('body[data-coloured]', { timeout: 30000 });
    await shot.waitForFunction(() => document.querySelectorAll('#outline button').length > 0);
    fs.mkdirSync(shots, { recursive: true });
    await shot.screenshot({ path: path.join(shots, 'playground.png') });
    await shot.close();
  });
});
