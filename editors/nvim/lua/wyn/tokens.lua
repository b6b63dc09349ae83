-- The server's semantic tokens as highlights, for Neovim 0.7 and 0.8, which
-- have no client of their own for them (0.9 and later highlight them
-- themselves; the set-up then only links the groups, see groups below).
--
-- Tokens are asked for after each change, in insert mode as well, once the
-- typing pauses; an answer is applied only if the buffer has not changed
-- since it was asked for, and then replaces the old highlights at once, so
-- the colours never flicker and never lag behind the text for long.
local M = {}

M.namespace = vim.api.nvim_create_namespace('wyn_tokens')
local ns = M.namespace

-- Highlight group for each token type of the server's legend.
M.groups = {
  comment = 'Comment',
  string = 'String',
  number = 'Number',
  operator = 'Operator',
  keyword = 'Keyword',
  ['function'] = 'Function',
  variable = 'Constant',
}

-- Neovim 0.11 takes the encoding's name where a string's units are counted.
local named_encodings = vim.fn.has('nvim-0.11') == 1

-- Byte column of a position counted in the client's offset encoding.
function M.byte_col(bufnr, line, col, encoding)
  if encoding == 'utf-8' then
    return col
  end
  local text = vim.api.nvim_buf_get_lines(bufnr, line, line + 1, false)[1] or ''
  local ok, byte
  if named_encodings then
    ok, byte = pcall(vim.str_byteindex, text, encoding, col, false)
  else
    ok, byte = pcall(vim.str_byteindex, text, col, encoding == 'utf-16')
  end
  return ok and byte or #text
end

-- TEXT's length in the units of ENCODING.
function M.units(text, encoding)
  if encoding == 'utf-8' then
    return #text
  elseif named_encodings then
    return vim.str_utfindex(text, encoding)
  end
  local utf32, utf16 = vim.str_utfindex(text)
  return encoding == 'utf-32' and utf32 or utf16
end

-- Decodes semantic-token DATA with the server's LEGEND into highlights.
function M.decode(data, legend)
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

-- Asks CLIENT for BUFNR's tokens and puts them in place as highlights. An
-- answer overtaken by an edit is dropped and asked for again.
function M.request(client, request, bufnr)
  local provider = client.server_capabilities and client.server_capabilities.semanticTokensProvider
  if not provider then
    return
  end
  local tick = vim.api.nvim_buf_get_changedtick(bufnr)
  local params = { textDocument = vim.lsp.util.make_text_document_params(bufnr) }
  request(client, 'textDocument/semanticTokens/full', params, function(err, result)
    if err or not result or not vim.api.nvim_buf_is_valid(bufnr) then
      return
    end
    if vim.api.nvim_buf_get_changedtick(bufnr) ~= tick then
      M.later(bufnr, function()
        M.request(client, request, bufnr)
      end)
      return
    end
    vim.api.nvim_buf_clear_namespace(bufnr, ns, 0, -1)
    for _, tok in ipairs(M.decode(result.data, provider.legend)) do
      local group = M.groups[tok.type]
      if group then
        local from = M.byte_col(bufnr, tok.line, tok.start, client.offset_encoding)
        local to = M.byte_col(bufnr, tok.line, tok.start + tok.length, client.offset_encoding)
        pcall(vim.api.nvim_buf_add_highlight, bufnr, ns, group, tok.line, from, to)
      end
    end
  end, bufnr)
end

local timers = {} -- bufnr -> the timer of its pending request
M.delay = 120

-- Runs FN for BUFNR DELAY ms from now (default M.delay), or from the latest
-- call if another comes first: typing asks for tokens once it pauses.
function M.later(bufnr, fn, delay)
  local timer = timers[bufnr]
  if not timer then
    timer = (vim.uv or vim.loop).new_timer()
    timers[bufnr] = timer
    vim.api.nvim_buf_attach(bufnr, false, {
      on_detach = function()
        timers[bufnr] = nil
        timer:stop()
        timer:close()
      end,
    })
  end
  timer:stop()
  timer:start(delay or M.delay, 0, vim.schedule_wrap(function()
    if vim.api.nvim_buf_is_valid(bufnr) then
      fn()
    end
  end))
end

return M
