-- Neovim set-up for .wyn installation scripts, served by `wyn lsp`.
--
--   vim.opt.runtimepath:append('/path/to/wyn/editors/nvim')
--   require('wyn').setup({ cmd = { '/path/to/wyn', 'lsp' } })
--
-- Registers the wyn file type, starts one server per root folder and attaches
-- it to every wyn buffer, shows the server's semantic tokens as highlights
-- (Neovim 0.7 has no client of its own for them), runs the server's
-- on-type formatting after Enter (the plug-in's smart indent) and offers
-- :WynExpand for the plug-in's template expansion at the cursor, leaving the
-- cursor where the template's cursor mark is.
local M = {}

local ns = vim.api.nvim_create_namespace('wyn_tokens')
M.namespace = ns
local clients = {} -- root folder -> client id
local config = {}

-- Highlight group for each token type of the server's legend.
local groups = {
  comment = 'Comment',
  string = 'String',
  number = 'Number',
  operator = 'Operator',
  keyword = 'Keyword',
  ['function'] = 'Function',
  variable = 'Constant',
}

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
  for _, c in pairs(vim.lsp.buf_get_clients(bufnr or 0)) do
    if c.name == 'wyn' then
      return c
    end
  end
end

-- Byte column of a position counted in the client's offset encoding.
local function byte_col(bufnr, line, col, encoding)
  if encoding == 'utf-8' then
    return col
  end
  local text = vim.api.nvim_buf_get_lines(bufnr, line, line + 1, false)[1] or ''
  local ok, byte = pcall(vim.str_byteindex, text, col, encoding == 'utf-16')
  return ok and byte or #text
end

-- Decodes semantic-token DATA with the server's LEGEND into highlights.
function M.decode_tokens(data, legend)
  local out = {}
  local line, start = 0, 0
  for i = 1, #data, 5 do
    local dl, ds = data[i], data[i + 1]
    line = line + dl
    start = dl == 0 and start + ds or ds
    table.insert(out, { line = line, start = start, length = data[i + 2], type = legend.tokenTypes[data[i + 3] + 1] })
  end
  return out
end

-- Asks for the buffer's tokens and puts them in place as highlights.
function M.highlight(bufnr)
  bufnr = bufnr or vim.api.nvim_get_current_buf()
  local client = M.client(bufnr)
  local provider = client and client.server_capabilities and client.server_capabilities.semanticTokensProvider
  if not provider then
    return
  end
  local params = { textDocument = vim.lsp.util.make_text_document_params(bufnr) }
  client.request('textDocument/semanticTokens/full', params, function(err, result)
    if err or not result or not vim.api.nvim_buf_is_valid(bufnr) then
      return
    end
    vim.api.nvim_buf_clear_namespace(bufnr, ns, 0, -1)
    for _, tok in ipairs(M.decode_tokens(result.data, provider.legend)) do
      local group = groups[tok.type]
      if group then
        local from = byte_col(bufnr, tok.line, tok.start, client.offset_encoding)
        local to = byte_col(bufnr, tok.line, tok.start + tok.length, client.offset_encoding)
        pcall(vim.api.nvim_buf_add_highlight, bufnr, ns, group, tok.line, from, to)
      end
    end
  end, bufnr)
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
  local res = client.request_sync('textDocument/onTypeFormatting', params, 1000, bufnr)
  if res and res.result and #res.result > 0 then
    vim.lsp.util.apply_text_edits(res.result, bufnr, client.offset_encoding)
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
  local res = client.request_sync('textDocument/codeAction', params, 1000, bufnr)
  for _, action in ipairs(res and res.result or {}) do
    local cmd = type(action.command) == 'table' and action.command or action
    if cmd.command == 'wyn.expandTemplate' then
      -- The server has the edit applied before it answers; the answer says
      -- where the template's cursor mark is.
      local r = client.request_sync('workspace/executeCommand', { command = cmd.command, arguments = cmd.arguments }, 1000, bufnr)
      local cursor = r and type(r.result) == 'table' and r.result.cursor
      if cursor then
        local col = byte_col(bufnr, cursor.line, cursor.character, client.offset_encoding)
        pcall(vim.api.nvim_win_set_cursor, 0, { cursor.line + 1, col })
      end
      return
    end
  end
  vim.notify('wyn: no template here', vim.log.levels.INFO)
end

-- Starts or reuses the server for BUFNR's root folder and attaches it.
function M.attach(bufnr)
  local root = root_of(bufnr)
  local id = clients[root]
  if not id or not vim.lsp.get_client_by_id(id) then
    local capabilities = vim.lsp.protocol.make_client_capabilities()
    capabilities.workspace.semanticTokens = { refreshSupport = true }
    -- The templates come as snippets: Neovim's own completion inserts their
    -- text, a snippet plug-in their tab stops as well.
    capabilities.textDocument.completion.completionItem.snippetSupport = true
    capabilities.textDocument.semanticTokens = {
      requests = { full = true },
      tokenTypes = vim.tbl_keys(groups),
      tokenModifiers = { 'readonly', 'defaultLibrary' },
      formats = { 'relative' },
    }
    id = vim.lsp.start_client({
      name = 'wyn',
      cmd = config.cmd or { 'wyn', 'lsp' },
      root_dir = root,
      workspace_folders = { { uri = vim.uri_from_fname(root), name = vim.fn.fnamemodify(root, ':t') } },
      capabilities = capabilities,
      init_options = config.settings or {},
      settings = { wyn = config.settings or {} },
      flags = { debounce_text_changes = config.debounce or 50 },
      handlers = {
        ['workspace/semanticTokens/refresh'] = function()
          for _, b in ipairs(vim.api.nvim_list_bufs()) do
            if vim.api.nvim_buf_is_loaded(b) and vim.bo[b].filetype == 'wyn' then
              M.highlight(b)
            end
          end
          return vim.NIL
        end,
      },
      on_init = function()
        vim.schedule(function()
          M.highlight(bufnr)
        end)
      end,
    })
    clients[root] = id
  end
  vim.lsp.buf_attach_client(bufnr, id)
  M.highlight(bufnr)
end

local function on_filetype(args)
  local bufnr = args.buf
  vim.bo[bufnr].commentstring = '// %s'
  vim.bo[bufnr].comments = 's1:/*,mb:*,ex:*/,://'
  vim.bo[bufnr].smartindent = false
  vim.bo[bufnr].cindent = false
  M.attach(bufnr)
  vim.api.nvim_create_autocmd({ 'TextChanged', 'InsertLeave' }, {
    buffer = bufnr,
    callback = function()
      M.highlight(bufnr)
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
-- settings: configFile, keywords, templates), format_on_enter (default true),
-- debounce (ms before an edit is sent, default 50).
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
end

return M
