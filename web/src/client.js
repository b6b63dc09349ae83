// The page's side of the language server: JSON-RPC objects over
// postMessage to the server's web worker. Requests get promises; the
// server's own requests (configuration, edits, refreshes) are answered
// here so that the server never waits on a client that does not reply.

export class Client {
  constructor(worker) {
    this.worker = worker;
    this.nextId = 1;
    this.pending = new Map();
    this.handlers = new Map();
    this.requestHandlers = new Map();
    worker.onmessage = (e) => this.receive(e.data);
    worker.onerror = (e) => this.fail(new Error(`the server's worker failed: ${e.message || e}`));
  }

  // Calls FN for every notification named METHOD.
  on(method, fn) {
    this.handlers.set(method, fn);
  }

  // Answers the server's requests named METHOD with what FN returns.
  onRequest(method, fn) {
    this.requestHandlers.set(method, fn);
  }

  request(method, params) {
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject, method });
      this.worker.postMessage({ jsonrpc: '2.0', id, method, params });
    });
  }

  notify(method, params) {
    this.worker.postMessage({ jsonrpc: '2.0', method, params });
  }

  receive(msg) {
    if (!msg || typeof msg !== 'object') return;
    if (msg.method === undefined && msg.id !== undefined) {
      const p = this.pending.get(msg.id);
      if (!p) return;
      this.pending.delete(msg.id);
      if (msg.error) p.reject(Object.assign(new Error(`${p.method}: ${msg.error.message}`), { code: msg.error.code }));
      else p.resolve(msg.result === undefined ? null : msg.result);
      return;
    }
    if (typeof msg.method !== 'string') return;
    if (msg.id === undefined) {
      const fn = this.handlers.get(msg.method);
      if (fn) fn(msg.params);
      return;
    }
    // A request from the server: always answered, an error when unknown.
    const fn = this.requestHandlers.get(msg.method);
    Promise.resolve()
      .then(() => {
        if (!fn) throw Object.assign(new Error(`no handler for ${msg.method}`), { code: -32601 });
        return fn(msg.params);
      })
      .then(
        (result) => this.worker.postMessage({ jsonrpc: '2.0', id: msg.id, result: result === undefined ? null : result }),
        (err) =>
          this.worker.postMessage({
            jsonrpc: '2.0',
            id: msg.id,
            error: { code: err.code || -32603, message: String(err.message || err) },
          }),
      );
  }

  // Rejects every request still waiting: the worker is gone.
  fail(err) {
    for (const p of this.pending.values()) p.reject(err);
    this.pending.clear();
    const fn = this.handlers.get('$/failed');
    if (fn) fn(err);
  }
}

// What the page can do with the server's answers; the server leaves out
// what a client does not say it handles.
export const capabilities = {
  general: { positionEncodings: ['utf-16'] },
  workspace: { applyEdit: false, configuration: false, semanticTokens: { refreshSupport: true } },
  textDocument: {
    synchronization: { didSave: false },
    documentSymbol: { hierarchicalDocumentSymbolSupport: true },
    onTypeFormatting: {},
    formatting: {},
    codeAction: { codeActionLiteralSupport: { codeActionKind: { valueSet: ['', 'quickfix', 'refactor', 'refactor.rewrite'] } } },
    publishDiagnostics: { relatedInformation: false },
    semanticTokens: {
      requests: { range: true, full: { delta: true } },
      tokenTypes: ['comment', 'string', 'number', 'operator', 'keyword', 'function', 'variable'],
      tokenModifiers: ['readonly', 'defaultLibrary'],
      formats: ['relative'],
    },
  },
};
