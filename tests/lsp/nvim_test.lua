-- Neovim's own LSP client against `wyn lsp`, set up by editors/nvim exactly
-- as a user would, on a copy of an example script: document symbols,
-- completion with a snippet, hover, signature help, folding, on-type
-- formatting, the expansion command, the highlights from semantic tokens,
-- and an edit session in the buffer; then the buffer's keys as a user
-- types them (completion, K, gd, signature help, colours while typing,
-- folds, gq).
--
-- Run: nvim --headless -u NONE -i NONE -n -c 'luafile tests/lsp/nvim_test.lua'
-- WYN_LSP names the server command (default: build/linux/wyn lsp). Prints
-- "nvim: N passed, M failed" and exits 0 only when every check passed.
local here = vim.fn.fnamemodify(debug.getinfo(1, 'S').source:sub(2), ':p:h')
local root = vim.fn.fnamemodify(here, ':h:h')
local cmd = vim.split(vim.env.WYN_LSP or (root .. '/build/linux/wyn lsp'), '%s+', { trimempty = true })
local tool = vim.list_slice(cmd, 1, #cmd - 1)

local passed, failed = 0, 0
local function out(s)
  io.stdout:write(s .. '\n')
end

local function check(name, fn)
  local ok, err = pcall(fn)
  if ok then
    passed = passed + 1
    out('ok   ' .. name)
  else
    failed = failed + 1
    out('FAIL ' .. name .. ': ' .. tostring(err))
  end
end

local function eq(got, want, what)
  if not vim.deep_equal(got, want) then
    error(string.format('%s: got %s, want %s', what or 'value', vim.inspect(got), vim.inspect(want)), 2)
  end
end

local function finish()
  out(string.format('nvim: %d passed, %d failed', passed, failed))
  io.stdout:flush()
  if failed == 0 then
    vim.cmd('qall!')
  else
    vim.cmd('cquit!')
  end
end

-- The tool's output for ARGS with TEXT as its input.
local function run_tool(args, text)
  local res = vim.fn.system(vim.list_extend(vim.list_extend(vim.deepcopy(tool), { '--no-config' }), args), text)
  assert(vim.v.shell_error == 0, 'wyn ' .. table.concat(args, ' ') .. ' failed: ' .. res)
  return res
end

local dir = vim.fn.tempname()
vim.fn.mkdir(dir, 'p')
local file = dir .. '/setup.wyn'
vim.fn.writefile(vim.fn.readfile(root .. '/examples/setup.wyn', 'b'), file, 'b')

vim.opt.runtimepath:append(root .. '/editors/nvim')
local wyn = require('wyn')
wyn.setup({ cmd = cmd, debounce = 0 })
vim.cmd('edit ' .. vim.fn.fnameescape(file))
local buf = vim.api.nvim_get_current_buf()

local client
local started = vim.wait(10000, function()
  client = wyn.client(buf)
  return client ~= nil and client.initialized == true
end, 20)
if not started then
  out('FAIL the server did not start: ' .. table.concat(cmd, ' '))
  failed = failed + 1
  finish()
  return
end

local function request(method, params)
  local res, err = client.request_sync(method, params, 5000, buf)
  assert(res, method .. ': ' .. tostring(err))
  assert(not res.err, method .. ': ' .. vim.inspect(res.err))
  return res.result
end

local function doc()
  return { uri = vim.uri_from_bufnr(buf) }
end

local function lines()
  return vim.api.nvim_buf_get_lines(buf, 0, -1, false)
end

-- Puts TEXT as a new line after line N (1-based) and returns its 0-based index.
local function add_line(n, text)
  vim.api.nvim_buf_set_lines(buf, n, n, false, { text })
  return n
end

local function drop_line(i)
  vim.api.nvim_buf_set_lines(buf, i, i + 1, false, {})
end

check('file type and attachment', function()
  eq(vim.bo[buf].filetype, 'wyn', 'filetype')
  eq(client.offset_encoding, 'utf-16', 'offset encoding')
end)

check('document symbols are the routine list', function()
  local want = {}
  for _, l in ipairs(vim.split(run_tool({ 'routines', file }), '\n', { trimempty = true })) do
    table.insert(want, l:match('([%w_]+)%s*%('))
  end
  local got = {}
  for _, s in ipairs(request('textDocument/documentSymbol', { textDocument = doc() })) do
    table.insert(got, s.name)
  end
  eq(got, want, 'symbols')
  assert(#got == 5, 'five routines in setup.wyn')
end)

check('highlights from semantic tokens', function()
  wyn.highlight(buf)
  assert(vim.wait(5000, function()
    return #vim.api.nvim_buf_get_extmarks(buf, wyn.namespace, 0, -1, {}) > 0
  end, 20), 'no highlights')
  -- Line 31 is "program": a reserved word.
  local marks = vim.api.nvim_buf_get_extmarks(buf, wyn.namespace, { 30, 0 }, { 30, -1 }, { details = true })
  eq(#marks, 1, 'highlights on "program"')
  eq(marks[1][4].hl_group, 'Keyword', 'group of "program"')
end)

check('completion offers a snippet that gives the template', function()
  local i = add_line(31, '    AskY')
  local res = request('textDocument/completion', { textDocument = doc(), position = { line = i, character = 8 } })
  local items = res.items or res
  local found
  for _, item in ipairs(items) do
    if item.label == 'AskYesNo' and item.insertTextFormat == 2 then
      found = item
    end
  end
  drop_line(i)
  assert(found, 'no snippet item AskYesNo among ' .. #items)
  eq(vim.lsp.util.parse_snippet(found.insertText or found.textEdit.newText), 'AskYesNo (szQuestion, nDefault);', 'snippet text')
end)

check('hover on a built-in function shows its template', function()
  local res = request('textDocument/hover', { textDocument = doc(), position = { line = 36, character = 10 } })
  local text = table.concat(vim.lsp.util.convert_input_to_markdown_lines(res.contents), '\n')
  assert(text:find('MessageBox', 1, true), text)
end)

check('signature help tracks the parameter', function()
  local i = add_line(31, '    AskYesNo("a, b", ')
  local res = request('textDocument/signatureHelp', { textDocument = doc(), position = { line = i, character = 21 } })
  drop_line(i)
  assert(res and res.signatures and #res.signatures > 0, 'no signature')
  local sig = res.signatures[(res.activeSignature or 0) + 1]
  eq(sig.activeParameter or res.activeParameter, 1, 'active parameter')
  local md = vim.lsp.util.convert_signature_help_to_markdown_lines(res, 'wyn', { '(', ',' })
  assert(table.concat(md, '\n'):find('AskYesNo', 1, true), 'label')
end)

check('folding ranges: the banner comment and routine bodies', function()
  local folds = request('textDocument/foldingRange', { textDocument = doc() })
  local banner, body = false, false
  for _, f in ipairs(folds) do
    banner = banner or (f.startLine == 0 and f.kind == 'comment')
    body = body or f.startLine == 62
  end
  assert(banner, 'no fold for the banner comment')
  assert(body, 'no fold for CheckRequirements')
end)

check('on-type formatting gives the plug-in\'s indent', function()
  -- Line 36 (1-based) is "    if (CheckRequirements() < 0) then".
  local before = table.concat(lines(), '\n') .. '\n'
  local want = vim.split(run_tool({ 'indent', '-', '36:' .. (#lines()[36] + 1) }, before), '\n')[37]
  local i = add_line(36, '    ')
  local edits = request('textDocument/onTypeFormatting', {
    textDocument = doc(),
    position = { line = i, character = 4 },
    ch = '\n',
    options = { tabSize = 8, insertSpaces = false },
  })
  vim.lsp.util.apply_text_edits(edits or {}, buf, client.offset_encoding)
  local got = lines()[37]
  drop_line(i)
  eq(got, want, 'the new line')
end)

check('Enter in insert mode: the new line indented by the plug-in', function()
  local before = table.concat(lines(), '\n') .. '\n'
  local want = vim.split(run_tool({ 'indent', '-', '36:' .. (#lines()[36] + 1) }, before), '\n')[37]
  vim.api.nvim_win_set_cursor(0, { 36, 0 })
  vim.api.nvim_feedkeys(vim.api.nvim_replace_termcodes('A<CR>', true, false, true), 'tx', false)
  assert(vim.wait(3000, function()
    return lines()[37] == want
  end, 20), 'the new line is ' .. vim.inspect(lines()[37]) .. ', want ' .. vim.inspect(want))
  drop_line(36)
  eq(table.concat(lines(), '\n') .. '\n', before, 'buffer afterwards')
end)

check(':WynExpand expands the word at the cursor, quietly', function()
  local i = add_line(31, '    while')
  vim.api.nvim_win_set_cursor(0, { i + 1, 5 })
  vim.cmd('messages clear')
  vim.api.nvim_feedkeys(vim.api.nvim_replace_termcodes(':WynExpand<CR>', true, false, true), 'tx', false)
  eq(vim.fn.execute('messages'), '', 'messages')
  local got = vim.list_slice(lines(), i + 1, i + 3)
  eq(got, { '    while (  )', '    \t', '    endwhile;' }, 'expansion')
  eq(vim.api.nvim_win_get_cursor(0), { i + 1, 12 }, 'cursor at the template\'s mark')
  vim.api.nvim_buf_set_lines(buf, i, i + 3, false, {})
end)

check('edit session: typed text reaches the server', function()
  local original = lines()
  local n = #original
  -- Typed character by character at the end, as insert mode sends it.
  local typed = 'function Added(nCount)\nbegin\n    szMsg = "é😀";\n    while (nCount > 0)\n'
    .. '        nCount = nCount - 1;\n    endwhile;\nend;\n'
  vim.api.nvim_buf_set_lines(buf, n, n, false, { '' })
  local row, col = n, 0
  for _, ch in ipairs(vim.fn.split(typed, '\\zs')) do
    if ch == '\n' then
      vim.api.nvim_buf_set_text(buf, row, col, row, col, { '', '' })
      row, col = row + 1, 0
    else
      vim.api.nvim_buf_set_text(buf, row, col, row, col, { ch })
      col = col + #ch
    end
  end
  local names = {}
  for _, s in ipairs(request('textDocument/documentSymbol', { textDocument = doc() })) do
    names[s.name] = s.range
  end
  assert(names.Added, 'the typed routine is not listed')
  eq(names.Added.start.line, n, 'its header line')
  local res = request('textDocument/semanticTokens/full', { textDocument = doc() })
  local legend = client.server_capabilities.semanticTokensProvider.legend
  local at = {}
  for _, t in ipairs(wyn.decode_tokens(res.data, legend)) do
    at[t.line .. ':' .. t.start] = t.type .. '/' .. t.length
  end
  eq(at[n .. ':0'], 'keyword/8', '"function"')
  eq(at[(n + 2) .. ':12'], 'string/5', 'the string, in UTF-16 units')
  eq(at[(n + 3) .. ':4'], 'keyword/5', '"while"')
  -- and as highlights, in bytes
  wyn.highlight(buf)
  assert(vim.wait(3000, function()
    local m = vim.api.nvim_buf_get_extmarks(buf, wyn.namespace, { n + 2, 12 }, { n + 2, 12 }, { details = true })[1]
    return m ~= nil and m[4].end_col == 20 and m[4].hl_group == 'String'
  end, 20), 'no String highlight over bytes 12..20 of the typed string')
  -- Open a comment above it all, then close it again: the symbols come back.
  vim.api.nvim_buf_set_text(buf, n, 0, n, 0, { '/* ' })
  local hidden = request('textDocument/documentSymbol', { textDocument = doc() })
  for _, s in ipairs(hidden) do
    assert(s.name ~= 'Added', 'a routine inside a comment is listed')
  end
  vim.api.nvim_buf_set_text(buf, n, 0, n, 3, { '' })
  vim.api.nvim_buf_set_lines(buf, n, -1, false, {})
  eq(lines(), original, 'buffer after undoing the session')
  eq(#request('textDocument/documentSymbol', { textDocument = doc() }), 5, 'routines after the session')
end)

-- What a user does with keys, each step typed as keys through the main
-- loop (so that insert mode lasts while the answers come): SETUP puts the
-- buffer in place, READY (when given) waits for what the keys need, KEYS
-- are typed, DONE is waited for, and CHECK and UNDO run after it. The
-- lines are 1-based, as the cursor counts them.
local function floating_text()
  for _, w in ipairs(vim.api.nvim_list_wins()) do
    if vim.api.nvim_win_get_config(w).relative ~= '' then
      return table.concat(vim.api.nvim_buf_get_lines(vim.api.nvim_win_get_buf(w), 0, -1, false), '\n')
    end
  end
end

local function close_floats()
  for _, w in ipairs(vim.api.nvim_list_wins()) do
    if vim.api.nvim_win_get_config(w).relative ~= '' then
      vim.api.nvim_win_close(w, true)
    end
  end
end

local function group_at(line, col)
  local m = vim.api.nvim_buf_get_extmarks(buf, wyn.namespace, { line - 1, col }, { line - 1, col }, { details = true })[1]
  return m and m[4].hl_group
end

local original
local steps = {
  {
    name = '<C-x><C-o> completes from the server',
    setup = function()
      add_line(31, '')
      vim.api.nvim_win_set_cursor(0, { 32, 0 })
    end,
    keys = 'S    AskY<C-x><C-o>',
    done = function()
      return lines()[32]:find('AskYesNo', 1, true) ~= nil
    end,
    undo = function()
      vim.api.nvim_input('<Esc>')
      drop_line(31)
    end,
  },
  {
    name = 'K shows the hover',
    setup = function()
      vim.api.nvim_win_set_cursor(0, { 37, 10 })
    end,
    keys = 'K',
    done = function()
      return (floating_text() or ''):find('MessageBox', 1, true) ~= nil
    end,
    undo = close_floats,
  },
  {
    name = 'gd goes to the routine',
    setup = function()
      vim.api.nvim_win_set_cursor(0, { 36, 10 })
    end,
    keys = 'gd',
    done = function()
      return vim.api.nvim_win_get_cursor(0)[1] == 63
    end,
  },
  {
    name = '<C-k> in insert mode shows the signature',
    setup = function()
      vim.api.nvim_win_set_cursor(0, { 31, 0 })
    end,
    keys = 'o    AskYesNo("a", <C-k>',
    done = function()
      return (floating_text() or ''):find('AskYesNo', 1, true) ~= nil
    end,
    undo = function()
      vim.api.nvim_input('<Esc>')
      close_floats()
      drop_line(31)
    end,
  },
  {
    -- Line 31 is "program", a reserved word, until a comment opens above it.
    name = 'colours follow typing before insert mode ends',
    setup = function()
      vim.api.nvim_win_set_cursor(0, { 31, 0 })
    end,
    ready = function()
      return group_at(31, 0) == 'Keyword'
    end,
    keys = 'O/*',
    done = function()
      return group_at(32, 0) == 'Comment'
    end,
    check = function()
      eq(vim.api.nvim_get_mode().mode, 'i', 'mode')
    end,
    undo = function()
      vim.api.nvim_input('<Esc>')
      drop_line(30)
    end,
  },
  {
    name = 'zc folds a routine by the server\'s ranges',
    setup = function()
      vim.api.nvim_win_set_cursor(0, { 66, 0 })
    end,
    ready = function()
      -- the routine's comment, lines 61 and 62, folded apart from it: the
      -- folds are those of the buffer as it is now
      return vim.fn.foldlevel(1) > 0 and vim.fn.foldlevel(60) == 0 and vim.fn.foldlevel(61) == 1
    end,
    keys = 'zc',
    done = function()
      return vim.fn.foldclosed(66) == 63
    end,
    undo = function()
      vim.cmd('normal! zR')
    end,
  },
}
-- The script is formatted as `wyn format --indent=4` has it: a line put out
-- of place comes back, and nothing else changes.
for _, keys in ipairs({ 'gqq', ':WynFormat<CR>', ':67,68WynFormat<CR>' }) do
  table.insert(steps, {
    name = keys .. ' re-indents through the server',
    setup = function()
      original = lines()
      vim.bo[buf].shiftwidth = 4
      vim.bo[buf].expandtab = true
      vim.api.nvim_buf_set_lines(buf, 66, 67, false, { vim.trim(original[67]) })
      vim.api.nvim_win_set_cursor(0, { 67, 0 })
    end,
    keys = keys,
    done = function()
      return lines()[67] == original[67]
    end,
    check = function()
      eq(lines(), original, 'buffer')
    end,
  })
end

local function run(i)
  local step = steps[i]
  if not step then
    local stopped = false
    client.stop()
    vim.wait(5000, function()
      stopped = client.is_stopped()
      return stopped
    end, 20)
    check('the server stops when asked', function()
      assert(stopped, 'still running')
    end)
    finish()
    return
  end
  local ok, err = pcall(step.setup)
  local deadline = vim.loop.now() + 5000
  local typed = false
  local function poll()
    if ok and not typed and (not step.ready or step.ready()) then
      typed = true
      vim.api.nvim_input(step.keys)
    end
    if ok and not (typed and step.done()) then
      if vim.loop.now() < deadline then
        return vim.defer_fn(poll, 20)
      end
      ok, err = false, typed and 'nothing happened' or 'not ready for the keys'
    end
    check(step.name, function()
      assert(ok, err)
      if step.check then
        step.check()
      end
    end)
    if step.undo then
      pcall(step.undo)
    end
    vim.defer_fn(function()
      run(i + 1)
    end, 50)
  end
  vim.defer_fn(poll, 20)
end
run(1)
