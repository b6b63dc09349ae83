-- Neovim set-up for .wyn installation scripts, served by `wyn lsp`.
--
--   vim.opt.runtimepath:append('/path/to/wyn/editors/nvim')
--   require('wyn').setup({ cmd = { '/path/to/wyn', 'lsp' } })
--
-- Registers the wyn file type, starts one server per root folder and attaches
-- it to every wyn buffer, and gives each buffer the server's features:
-- colours from its semantic tokens, completion as the omnifunc, K for hover,
-- gd for the definition, <C-k> in insert mode for signature help, folds from
-- its folding ranges, gq and :WynFormat through its formatting, the
-- plug-in's indent after Enter, and :WynExpand for the template at the
-- cursor. Every key is buffer-local, and every part can be switched off in
-- the setup options.
local tokens = require('wyn.tokens')

local M = {}

M.namespace = tokens.namespace
M.decode_tokens = tokens.decode
local config = {}
local clients = {} -- root folder -> client id, where vim.lsp.start is missing
-- Neovim 0.9 and later colour semantic tokens themselves.
local builtin_tokens = vim.fn.has('nvim-0.9') == 1
-- Neovim 0.11 wants the client's methods called as methods, and an
-- encoding named where a string's units are counted.
local nvim11 = vim.fn.has('nvim-0.11') == 1

local function send(client, method, params, handler, bufnr)
  if nvim11 then
    return client:request(method, params, handler, bufnr)
  end
  return client.request(method, params, handler, bufnr)
end

-- CLIENT's answer to METHOD, waited for at most TIMEOUT ms (a second by
-- default); nil on failure.
local function ask(client, method, params, bufnr, timeout)
  local res
  if nvim11 then
    res = client:request_sync(method, params, timeout or 1000, bufnr)
  else
    res = client.request_sync(method, params, timeout or 1000, bufnr)
  end
  return res and not res.err and res.result or nil
end

local function root_of(bufnr)
  local file = vim.api.nvim_buf_get_name(bufnr)
  local dir = file ~= '' and vim.fn.fnamemodify(file, ':p:h') or vim.fn.getcwd()
  local marker = vim.fn.finddir('.git', dir .. ';')
  if marker ~= '' then
    return vim.fn.fnamemodify(marker, ':p:h:h')
  end
  return dir
end

-- The client serving BUFNR, or nil.
function M.client(bufnr)
  bufnr = (bufnr == nil or bufnr == 0) and vim.api.nvim_get_current_buf() or bufnr
  if vim.lsp.get_clients then
    return vim.lsp.get_clients({ bufnr = bufnr, name = 'wyn' })[1]
  end
  for _, c in ipairs(vim.lsp.get_active_clients()) do
    if c.name == 'wyn' and vim.lsp.buf_is_attached(bufnr, c.id) then
      return c
    end
  end
end

-- Asks for the buffer's tokens and puts them in place as highlights, where
-- Neovim does not do it itself.
function M.highlight(bufnr)
  bufnr = bufnr or vim.api.nvim_get_current_buf()
  local client = M.client(bufnr)
  if client and not builtin_tokens then
    tokens.request(client, send, bufnr)
  end
end

-- After Enter: the server's edits for the new line, from the plug-in's smart
-- indent of the line above.
function M.format_new_line(bufnr)
  bufnr = bufnr or vim.api.nvim_get_current_buf()
  local client = M.client(bufnr)
  if not client then
    return
  end
  local params = vim.lsp.util.make_position_params(0, client.offset_encoding)
  params.ch = '\n'
  params.options = { tabSize = vim.bo[bufnr].tabstop, insertSpaces = vim.bo[bufnr].expandtab }
  local edits = ask(client, 'textDocument/onTypeFormatting', params, bufnr)
  if edits and #edits > 0 then
    vim.lsp.util.apply_text_edits(edits, bufnr, client.offset_encoding)
    local line = vim.api.nvim_win_get_cursor(0)[1]
    local text = vim.api.nvim_buf_get_lines(bufnr, line - 1, line, false)[1] or ''
    vim.api.nvim_win_set_cursor(0, { line, #text })
  end
end

-- The plug-in's template expansion of the word at the cursor.
function M.expand()
  local bufnr = vim.api.nvim_get_current_buf()
  local client = M.client(bufnr)
  if not client then
    return
  end
  local params = vim.lsp.util.make_range_params(0, client.offset_encoding)
  params.context = { diagnostics = {} }
  for _, action in ipairs(ask(client, 'textDocument/codeAction', params, bufnr) or {}) do
    local cmd = type(action.command) == 'table' and action.command or action
    if cmd.command == 'wyn.expandTemplate' then
      -- The server has the edit applied before it answers; the answer says
      -- where the template's cursor mark is.
      local r = ask(client, 'workspace/executeCommand', { command = cmd.command, arguments = cmd.arguments }, bufnr)
      local cursor = type(r) == 'table' and r.cursor
      if cursor then
        local col = tokens.byte_col(bufnr, cursor.line, cursor.character, client.offset_encoding)
        pcall(vim.api.nvim_win_set_cursor, 0, { cursor.line + 1, col })
      end
      return
    end
  end
  vim.notify('wyn: no template here', vim.log.levels.INFO)
end

-- The formatting options the server takes, from BUFNR's indentation.
local function formatting_options(bufnr)
  local sw = vim.bo[bufnr].shiftwidth
  return { tabSize = sw > 0 and sw or vim.bo[bufnr].tabstop, insertSpaces = vim.bo[bufnr].expandtab }
end

-- Re-indents lines FIRST to LAST (1-based, whole buffer when nil) as the
-- server formats them.
function M.format(first, last)
  local bufnr = vim.api.nvim_get_current_buf()
  local client = M.client(bufnr)
  if not client then
    return
  end
  local params = { textDocument = vim.lsp.util.make_text_document_params(bufnr), options = formatting_options(bufnr) }
  local method = 'textDocument/formatting'
  if first then
    -- The end of the last line, in the client's units.
    local text = vim.api.nvim_buf_get_lines(bufnr, last - 1, last, false)[1] or ''
    local stop = tokens.units(text, client.offset_encoding)
    params.range = { start = { line = first - 1, character = 0 }, ['end'] = { line = last - 1, character = stop } }
    method = 'textDocument/rangeFormatting'
  end
  -- A long script takes a while to re-indent.
  local edits = ask(client, method, params, bufnr, 5000)
  if edits and #edits > 0 then
    vim.lsp.util.apply_text_edits(edits, bufnr, client.offset_encoding)
  end
end

-- 'formatexpr': gq re-indents its lines through the server; text typed
-- past 'textwidth' is left to Neovim's own wrapping.
function M.formatexpr()
  if vim.fn.mode():find('^[iR]') then
    return 1
  end
  M.format(vim.v.lnum, vim.v.lnum + vim.v.count - 1)
  return 0
end

-- Folds: the server's folding ranges, asked for once per change of the
-- buffer and kept until the next answer, as a fold level per line.
local folds = {} -- bufnr -> { tick = changedtick asked for, levels = { [lnum] = expr } }

local function fold_levels(ranges)
  local depth, starts = {}, {}
  for _, r in ipairs(ranges) do
    starts[r.startLine + 1] = true
    for l = r.startLine + 1, r.endLine + 1 do
      depth[l] = (depth[l] or 0) + 1
    end
  end
  local levels = {}
  for l, d in pairs(depth) do
    levels[l] = starts[l] and ('>' .. d) or d
  end
  return levels
end

local function refresh_folds(bufnr)
  for _, win in ipairs(vim.fn.win_findbuf(bufnr)) do
    if vim.wo[win].foldmethod == 'expr' then
      vim.wo[win].foldmethod = 'expr' -- folds are worked out again
    end
  end
end

-- Asks for BUFNR's folding ranges unless its current text has been asked
-- about; an answer overtaken by an edit asks again.
local function update_folds(bufnr)
  local state = folds[bufnr]
  state.scheduled = false
  local client = M.client(bufnr)
  local tick = vim.api.nvim_buf_get_changedtick(bufnr)
  if state.tick == tick or not client then
    return
  end
  state.tick = tick
  local params = { textDocument = vim.lsp.util.make_text_document_params(bufnr) }
  send(client, 'textDocument/foldingRange', params, function(err, result)
    if err or not result or not vim.api.nvim_buf_is_valid(bufnr) then
      return
    end
    if vim.api.nvim_buf_get_changedtick(bufnr) ~= tick then
      return update_folds(bufnr)
    end
    state.levels = fold_levels(result)
    refresh_folds(bufnr)
  end, bufnr)
end

-- 'foldexpr' for line LNUM: the levels of the last answer, while the
-- buffer's text of now is asked about. That is done once the change that
-- has the expression worked out is complete, and not once a line.
function M.foldexpr(lnum)
  local bufnr = vim.api.nvim_get_current_buf()
  local state = folds[bufnr] or { levels = {} }
  folds[bufnr] = state
  if not state.scheduled and state.tick ~= vim.api.nvim_buf_get_changedtick(bufnr) then
    state.scheduled = true
    vim.schedule(function()
      if vim.api.nvim_buf_is_valid(bufnr) then
        update_folds(bufnr)
      end
    end)
  end
  return state.levels[lnum] or 0
end

local function set_fold_options(bufnr)
  if config.folding == false or vim.api.nvim_get_current_buf() ~= bufnr then
    return
  end
  vim.wo.foldmethod = 'expr'
  vim.wo.foldexpr = "v:lua.require'wyn'.foldexpr(v:lnum)"
  vim.wo.foldlevel = 99
end

local function make_capabilities()
  local capabilities = vim.lsp.protocol.make_client_capabilities()
  -- The templates come as snippets: Neovim's own completion inserts their
  -- text, a snippet plug-in their tab stops as well.
  capabilities.textDocument.completion.completionItem.snippetSupport = true
  if not builtin_tokens then
    capabilities.workspace.semanticTokens = { refreshSupport = true }
    capabilities.textDocument.semanticTokens = {
      requests = { full = true },
      tokenTypes = vim.tbl_keys(tokens.groups),
      tokenModifiers = { 'readonly', 'defaultLibrary' },
      formats = { 'relative' },
    }
  end
  return capabilities
end

local handlers = {
  -- The edit of an expansion, applied without Neovim's "Workspace edit"
  -- message on each.
  ['workspace/applyEdit'] = function(_, params, ctx)
    local client = vim.lsp.get_client_by_id(ctx.client_id)
    local ok, err = pcall(vim.lsp.util.apply_workspace_edit, params.edit, client and client.offset_encoding or 'utf-16')
    return { applied = ok, failureReason = not ok and tostring(err) or nil }
  end,
}
if not builtin_tokens then
  handlers['workspace/semanticTokens/refresh'] = function()
    for _, b in ipairs(vim.api.nvim_list_bufs()) do
      if vim.api.nvim_buf_is_loaded(b) and vim.bo[b].filetype == 'wyn' then
        M.highlight(b)
      end
    end
    return vim.NIL
  end
end

-- Starts or reuses the server for BUFNR's root folder and attaches it.
function M.attach(bufnr)
  local root = root_of(bufnr)
  local conf = {
    name = 'wyn',
    cmd = config.cmd or { 'wyn', 'lsp' },
    root_dir = root,
    workspace_folders = { { uri = vim.uri_from_fname(root), name = vim.fn.fnamemodify(root, ':t') } },
    capabilities = make_capabilities(),
    init_options = config.settings or {},
    settings = { wyn = config.settings or {} },
    flags = { debounce_text_changes = config.debounce or 50 },
    handlers = handlers,
    on_init = function()
      vim.schedule(function()
        M.highlight(bufnr)
      end)
    end,
  }
  if vim.lsp.start then
    vim.api.nvim_buf_call(bufnr, function()
      vim.lsp.start(conf, { bufnr = bufnr })
    end)
    return
  end
  local id = clients[root]
  if not id or not vim.lsp.get_client_by_id(id) then
    id = vim.lsp.start_client(conf)
    clients[root] = id
  end
  vim.lsp.buf_attach_client(bufnr, id)
  M.highlight(bufnr)
end

-- Buffer-local keys: KEY (a string, or false for none) in MODE runs FN.
local function map(bufnr, mode, key, fn, desc)
  if key then
    vim.keymap.set(mode, key, fn, { buffer = bufnr, desc = desc })
  end
end

local function on_filetype(args)
  local bufnr = args.buf
  local bo = vim.bo[bufnr]
  bo.commentstring = '// %s'
  bo.comments = 's1:/*,mb:*,ex:*/,://'
  bo.smartindent = false
  bo.cindent = false
  M.attach(bufnr)
  local group = vim.api.nvim_create_augroup('wyn_buffer_' .. bufnr, { clear = true })
  if not builtin_tokens then
    vim.api.nvim_create_autocmd({ 'TextChanged', 'InsertLeave' }, {
      group = group,
      buffer = bufnr,
      callback = function()
        M.highlight(bufnr)
      end,
    })
    -- While typing: once it pauses, so that the server is not asked for
    -- every key.
    vim.api.nvim_create_autocmd('TextChangedI', {
      group = group,
      buffer = bufnr,
      callback = function()
        tokens.later(bufnr, function()
          M.highlight(bufnr)
        end, config.highlight_delay)
      end,
    })
  end
  if config.omnifunc ~= false then
    bo.omnifunc = 'v:lua.vim.lsp.omnifunc'
  end
  local key = function(name, default)
    local k = config[name]
    if k == nil or k == true then
      return default
    end
    return k
  end
  map(bufnr, 'n', key('hover', 'K'), vim.lsp.buf.hover, 'describe the word at the cursor')
  map(bufnr, 'n', key('definition', 'gd'), vim.lsp.buf.definition, 'go to the definition')
  map(bufnr, 'i', key('signature_help', '<C-k>'), vim.lsp.buf.signature_help, 'the parameters of the call')
  if config.formatting ~= false then
    bo.formatexpr = "v:lua.require'wyn'.formatexpr()"
    vim.api.nvim_buf_create_user_command(bufnr, 'WynFormat', function(c)
      if c.range > 0 then
        M.format(c.line1, c.line2)
      else
        M.format()
      end
    end, { range = true, desc = 're-indent the script, or the lines given' })
  end
  set_fold_options(bufnr)
  vim.api.nvim_create_autocmd('BufWinEnter', {
    group = group,
    buffer = bufnr,
    callback = function()
      set_fold_options(bufnr)
    end,
  })
  if config.format_on_enter ~= false then
    -- Enter as usual, then, once the new line is there, the server's edits.
    vim.keymap.set('i', '<CR>', function()
      vim.schedule(function()
        M.format_new_line(bufnr)
      end)
      return '<CR>'
    end, { buffer = bufnr, expr = true, desc = 'new line, indented by the plug-in' })
  end
  vim.api.nvim_buf_create_user_command(bufnr, 'WynExpand', M.expand, { desc = 'expand the template at the cursor' })
end

-- OPTS: cmd (the server command, default { 'wyn', 'lsp' }), settings (the wyn
-- settings: configFile, keywords, templates), debounce (ms before an edit is
-- sent, default 50), highlight_delay (ms of pause in typing before colours
-- are asked for, default 120); each a part of the buffer's set-up, false to
-- leave it out: format_on_enter, omnifunc, folding, formatting (gq and
-- :WynFormat), and the keys hover ('K'), definition ('gd') and
-- signature_help ('<C-k>' in insert mode), each also a string for another key.
function M.setup(opts)
  config = opts or {}
  local group = vim.api.nvim_create_augroup('wyn', { clear = true })
  -- An autocommand as well as the table: Neovim 0.7 consults the table
  -- only when its Lua file-type detection is switched on.
  -- Scripts written on Windows are named in any letter case (SETUP.WYN).
  vim.filetype.add({
    extension = { wyn = 'wyn', WYN = 'wyn', Wyn = 'wyn' },
    pattern = { ['.*%.[wW][yY][nN]'] = 'wyn' },
  })
  vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
    group = group,
    pattern = '*.[wW][yY][nN]',
    command = 'setfiletype wyn',
  })
  vim.api.nvim_create_autocmd('FileType', { group = group, pattern = 'wyn', callback = on_filetype })
  if builtin_tokens then
    -- Neovim's own highlighter uses @lsp.type.TYPE.FILETYPE first; a colour
    -- scheme clears the links, so they are made again after each.
    local function link()
      for type, hl in pairs(tokens.groups) do
        vim.api.nvim_set_hl(0, '@lsp.type.' .. type .. '.wyn', { link = hl, default = true })
      end
    end
    link()
    vim.api.nvim_create_autocmd('ColorScheme', { group = group, callback = link })
  end
end

return M
