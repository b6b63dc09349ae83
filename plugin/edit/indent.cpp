/*
** Smart indent: after a line that opens a block, start the new line one tab
** deeper.
*/
#include <stddef.h>

#include "../frame/exports.h"
#include "../colour/chars.h"
#include "../frame/module.h"
#include "patterns.h"

/* Block-opening words, each between two 0xFF separators, so that a search
** for separator + word + separator matches whole words only. Constant: no
** entry point changes it. */
static const char block_words[] =
    "\xff"
    "if"
    "\xff"
    "while"
    "\xff"
    "else"
    "\xff"
    "for"
    "\xff"
    "case"
    "\xff"
    "elseif"
    "\xff"
    "switch"
    "\xff"
    "begin"
    "\xff"
    "program"
    "\xff";

/* Separates the words of block_words. */
static const char separator_text[] = "\xff";

/*
** Build the key 0xFF word 0xFF from a word the caller owns and give it back,
** or NULL. The word is consumed on every path.
*/
static char* block_key(char* word) {
  char* separator; /* "\xff"; consumed by the second append */
  char* key;

  separator = StrDup(separator_text);
  if (separator == NULL) {
    StrFree(word);
    return NULL;
  }
  /* StrAppend releases its first argument whether or not it succeeds. */
  word = StrAppend(word, separator);
  if (word == NULL) {
    StrFree(separator);
    return NULL;
  }
  key = StrAppend(separator, word);
  StrFree(word);
  return key;
}

/*
** Read the first word of the cursor's line, or NULL when the line does not
** begin (after blanks and tabs) with a word followed by a blank, a tab, '('
** or the line end. Moves the cursor; the caller restores it.
*/
static char* first_word_of_line(void) {
  cw_long line;  /* the cursor's line on entry */
  cw_long start; /* column of the word's first letter */
  cw_long end;   /* column just after the word */
  char* text;
  char* word;

  line = CursorLine();
  if (find_comment_start(CW_AT_CURSOR) != WYN_NOT_IN_COMMENT) return NULL;
  /* The nearest match at or before the cursor; one on an earlier line
  ** means this line does not qualify. */
  if (RegexSearch(wyn_line_pattern, CW_SEARCH_BACKWARD, 0) == 0) return NULL;
  if (CursorLine() != line) return NULL;
  end = CursorColumn();
  /* The line pattern has seen the word, so this finds its first letter. */
  RegexSearch(wyn_word_start_pattern, CW_SEARCH_BACKWARD, 0);
  start = CursorColumn();
  if (end <= start) return NULL;
  text = GetTextAtCursor(end - start);
  if (text == NULL) return NULL;
  word = StrTrim(text, " \t");
  StrFree(text);
  return word;
}

/*
** If the cursor's line opens a block (its first word is one of
** block_words), restore the cursor, start a new line there and put one
** tab on it; return 1. Otherwise restore the cursor and return 0, leaving
** the buffer as it was. Inside a comment nothing is done.
*/
cw_long WYNAPI _wyn_indent(void) {
  char* word;
  char* key;
  cw_long found;

  PushPosition();
  word = first_word_of_line();
  if (word == NULL) {
    PopPosition();
    return 0;
  }
  key = block_key(word);
  if (key == NULL) {
    PopPosition();
    return 0;
  }
  found = StrSearch(key, block_words, CW_STRSEARCH_MODE, 0);
  StrFree(key);
  /* The new line starts where the editor called us, not after the word. */
  PopPosition();
  if (found == 0) return 0;
  InsertNewLine();
  InsertChar(WYN_CH_TAB);
  return 1;
}
