" Sourced by vim_check.py in a headless Vim or Neovim with the exported
" package on 'packpath': opens $WYN_FILE as a user would (file-type
" detection, syntax on) and writes to $WYN_OUT the file type, syntax and
" the reserved words' GUI colour on the first line, then for each line one letter per character (a CR left
" out) naming the category of the syntax group under it ("-" for none).
let s:letters = {'wynComment': 'm', 'wynConstant': 'c', 'wynKeyword': 'k',
      \ 'wynFunction': 'f', 'wynString': 's', 'wynNumber': 'n', 'wynOperator': 'o'}
packloadall
filetype on
syntax on
execute 'edit' fnameescape($WYN_FILE)
let s:out = ['ft=' . &filetype . ' syntax=' . get(b:, 'current_syntax', '')
      \ . ' keyword-fg=' . synIDattr(synIDtrans(hlID('wynKeyword')), 'fg#', 'gui')]
for s:l in range(1, line('$'))
  let s:text = getline(s:l)
  let s:row = []
  for s:c in range(1, strlen(s:text))
    let s:b = char2nr(s:text[s:c - 1])
    " Each character once: at its first byte, and never a CR.
    if (s:b < 0x80 || s:b >= 0xC0) && s:b != 13
      let s:name = synIDattr(synID(s:l, s:c, 1), 'name')
      call add(s:row, get(s:letters, s:name, '-'))
    endif
  endfor
  call add(s:out, join(s:row, ''))
endfor
call writefile(s:out, $WYN_OUT)
qall!
