-- Run by vim_check.py inside a headless Neovim with the exported package on
-- 'packpath': opens $WYN_FILE as a user would (file-type detection, syntax
-- on) and writes to $WYN_OUT the file type and syntax on the first line,
-- then for each line one letter per character (a CR left out) naming the
-- category of the syntax group under it ("-" for none).
local letters = {
  wynComment = "m", wynConstant = "c", wynKeyword = "k", wynFunction = "f",
  wynString = "s", wynNumber = "n", wynOperator = "o",
}
vim.cmd("packloadall")
vim.cmd("filetype on")
vim.cmd("syntax on")
vim.cmd("edit " .. vim.fn.fnameescape(os.getenv("WYN_FILE")))
local out = { "ft=" .. vim.bo.filetype .. " syntax=" .. (vim.b.current_syntax or "") }
local cache = {}
for l = 1, vim.fn.line("$") do
  local text = vim.fn.getline(l)
  local row = {}
  for c = 1, #text do
    local b = text:byte(c)
    -- Each character once: at its first byte, and never a CR.
    if (b < 0x80 or b >= 0xC0) and b ~= 13 then
      local id = vim.fn.synID(l, c, 1)
      local letter = cache[id]
      if letter == nil then
        letter = letters[vim.fn.synIDattr(id, "name")] or "-"
        cache[id] = letter
      end
      row[#row + 1] = letter
    end
  end
  out[#out + 1] = table.concat(row)
end
vim.fn.writefile(out, os.getenv("WYN_OUT"))
vim.cmd("qall!")
