/*
** Configuration entry points: words added to a class, bucket counts for
** tables made on demand, the comment-introducer setting.
*/
#include <string.h>

#include "exports.h"
#include "module.h"

/* The configuration block: written only by the entry points below. */
char wyn_comment_introducer[3] = "//";                        /* read by nothing in the plug-in */
cw_long wyn_on_demand_buckets[WYN_CLASS_COUNT] = {0, 47, 47}; /* [0] unused */

/* Block-opening words, each between two 0xFF separators, so that a search
** for separator + word + separator matches whole words only. */
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
const char* wyn_block_words = block_words; /* read by edit/indent.cpp */

/* Adds word to a class's table. Classes 1 and 2 get a table on demand,
** sized by _wyn_hash_size; class 0 has its table only from start-up, and a
** class-0 word before that (or any word whose table could not be made) is
** ignored rather than handed to the hash service with no table. */
void WYNAPI _wyn_add_keyword(char* word, cw_long word_class) {
  if (!word || !*word || word_class < 0 || word_class >= WYN_CLASS_COUNT) return;
  if (!wyn_keyword_tables[word_class] && word_class != 0)
    wyn_keyword_tables[word_class] =
        HashCreate(wyn_on_demand_buckets[word_class], (cw_long)sizeof(void*), 0);
  if (!wyn_keyword_tables[word_class]) return;
  /* A word the table already holds keeps the copy it has: storing a second
  ** one over it would lose the first for good. */
  cw_slot held = HashFind(wyn_keyword_tables[word_class], word, (cw_long)strlen(word));
  if (held && *held) return;
  wyn_store_word(wyn_keyword_tables[word_class], word);
}

/* Bucket count for a class-1 or class-2 table made on demand; tables that
** start-up builds keep their own size. Other classes and sizes below 1 are
** ignored. */
void WYNAPI _wyn_hash_size(cw_long word_class, cw_long size) {
  if (size <= 0) return;
  if (word_class == 1 || word_class == 2) wyn_on_demand_buckets[word_class] = size;
}

/* Replaces the first character of the comment introducer; the second stays. */
void WYNAPI WYNSetCommentChar(char* text) {
  if (!text || !*text) return;
  wyn_comment_introducer[0] = text[0];
}
