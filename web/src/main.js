// The playground: an editor on one script, the language server in a web
// worker, and around them the outline, the examples, opening and saving
// files and the colour scheme.
import { EditorState } from '@codemirror/state';
import { EditorView, keymap, lineNumbers, highlightActiveLine, drawSelection } from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { lintGutter } from '@codemirror/lint';
import { Client, capabilities } from './client.js';
import { Session, toOffset } from './lsp.js';
import { examples } from './examples.js';

const $ = (id) => document.getElementById(id);

function status(text) {
  $('status').textContent = text;
}

// Light or dark: the system's choice until the toggle overrides it.
function setupTheme() {
  const saved = localStorage.getItem('wyn-theme');
  if (saved === 'light' || saved === 'dark') document.documentElement.dataset.theme = saved;
  $('theme').addEventListener('click', () => {
    const dark =
      document.documentElement.dataset.theme === 'dark' ||
      (!document.documentElement.dataset.theme && matchMedia('(prefers-color-scheme: dark)').matches);
    const next = dark ? 'light' : 'dark';
    document.documentElement.dataset.theme = next;
    localStorage.setItem('wyn-theme', next);
  });
}

function renderOutline(view, symbols) {
  const list = $('outline');
  list.replaceChildren();
  const add = (syms, depth) => {
    for (const s of syms) {
      const item = document.createElement('li');
      const button = document.createElement('button');
      button.textContent = s.name;
      button.style.paddingLeft = `${0.5 + depth}em`;
      const range = s.selectionRange || s.range || (s.location && s.location.range);
      if (!range) continue;
      const at = range.start;
      button.addEventListener('click', () => {
        const pos = toOffset(view.state.doc, at);
        view.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
        view.focus();
      });
      item.append(button);
      list.append(item);
      if (Array.isArray(s.children)) add(s.children, depth + 1);
    }
  };
  add(symbols, 0);
}

function download(name, text) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}

// Tab right after a word expands the template it names; where there is
// none, or elsewhere, Tab is a tab as usual.
function tabAfterWord(session, view) {
  const sel = view.state.selection;
  if (sel.ranges.length > 1 || !sel.main.empty) return false;
  const at = sel.main.head;
  if (!/\w/.test(view.state.sliceDoc(Math.max(0, at - 1), at))) return false;
  const version = session.version;
  session
    .expand()
    .then((done) => {
      if (!done && session.version === version && session.view === view) {
        view.dispatch(view.state.replaceSelection('\t'));
      }
    })
    .catch((err) => status(String(err.message || err)));
  return true;
}

async function main() {
  setupTheme();
  const worker = window.wynWorker || new Worker('wyn-worker.js');
  const client = new Client(worker);
  for (const msg of window.wynEarly || []) client.receive(msg);
  client.on('window/logMessage', (p) => {
    console.log(`[wyn] ${p.message}`);
    if (p.type === 1) status(p.message);
  });
  client.on('$/failed', (err) => status(String(err.message || err)));
  client.onRequest('workspace/configuration', (p) => (p.items || []).map(() => null));
  client.onRequest('client/registerCapability', () => null);
  client.onRequest('window/workDoneProgress/create', () => null);

  let session = null;
  let fileName = 'script.wyn';
  const run = (fn) => () => {
    if (session && session.view) fn(session).catch((err) => status(String(err.message || err)));
    return true;
  };
  const expand = run(async (s) => {
    if (!(await s.expand())) status('No template at the cursor');
  });
  const format = run(async (s) => {
    await s.format();
  });

  // The editor exists before the server answers, so typing starts at once;
  // the session opens the document once the server is ready.
  // The server starts loading while the page fetches its script.
  const ready = client.request('initialize', {
    processId: null,
    rootUri: null,
    capabilities,
    clientInfo: { name: 'playground' },
  });
  const query = new URLSearchParams(location.search);
  let first = examples.find((e) => e.name === query.get('example')) || examples[0];
  // ?open=URL starts on a script from the page's own site.
  const url = query.get('open');
  if (url && new URL(url, location.href).origin === location.origin) {
    const res = await fetch(url);
    if (res.ok) first = { name: url.split('/').pop() || 'script.wyn', text: await res.text() };
  }
  const extensions = (s) => [
    lineNumbers(),
    highlightActiveLine(),
    drawSelection(),
    EditorState.allowMultipleSelections.of(true),
    history(),
    lintGutter(),
    EditorView.theme({
      '&.cm-focused > .cm-scroller > .cm-selectionLayer .cm-selectionBackground, .cm-selectionBackground': {
        background: 'var(--selection)',
      },
    }),
    keymap.of([
      { key: 'Enter', run: (view) => (s ? s.enter(view) : false) },
      { key: 'Ctrl-Alt-e', run: expand, preventDefault: true },
      { key: 'Tab', run: (view) => (s ? tabAfterWord(s, view) : false) },
      { key: 'Shift-Alt-f', run: format, preventDefault: true },
      indentWithTab,
      ...defaultKeymap,
      ...historyKeymap,
    ]),
    s ? s.extensions() : [],
  ];
  const view = new EditorView({ parent: $('editor'), state: EditorState.create({ doc: first ? first.text : '' }) });
  fileName = first ? first.name : fileName;

  status('Starting the language server…');
  const init = await ready;
  client.notify('initialized', {});
  const legend = init.capabilities.semanticTokensProvider.legend;
  session = new Session(client, legend, {
    outline: (syms) => renderOutline(view, syms),
    coloured: () => {
      if (window.wynFirstColours === undefined) window.wynFirstColours = performance.now();
      document.body.dataset.coloured = String(session.version);
    },
    log: (text) => console.warn(`[wyn] ${text}`),
  });
  // Document loading replaces the whole state, so the editor's extensions
  // (and the session's listener) come with it.
  const load = (name, text) => {
    fileName = name;
    view.setState(EditorState.create({ doc: text, extensions: extensions(session) }));
    session.open(view);
    $('file-name').textContent = name;
  };
  load(fileName, view.state.doc.toString());
  status('Ready');

  const select = $('examples');
  for (const e of examples) {
    const o = document.createElement('option');
    o.value = e.name;
    o.textContent = e.name;
    select.append(o);
  }
  select.value = fileName;
  select.addEventListener('change', () => {
    const e = examples.find((x) => x.name === select.value);
    if (e) load(e.name, e.text);
  });
  $('open').addEventListener('change', async (ev) => {
    const file = ev.target.files && ev.target.files[0];
    if (file) load(file.name, await file.text());
    ev.target.value = '';
  });
  $('save').addEventListener('click', () => download(fileName, view.state.doc.toString()));
  $('expand').addEventListener('click', expand);
  $('format').addEventListener('click', format);
  window.wynView = view;
  view.focus();
}

main().catch((err) => status(String(err.message || err)));
