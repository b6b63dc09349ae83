/*
** Configuration entry points: words added to a class, bucket counts for
** tables made on demand, the comment-introducer setting. This file owns the
** configuration block; the tables themselves are written by vocab/.
*/
#include "exports.h"
#include "module.h"

/* The configuration block: written only by the entry points below. */
char wyn_comment_introducer[3] = WYN_COMMENT_INTRODUCER; /* see module.h: read by nothing */
cw_long wyn_on_demand_buckets[WYN_CLASS_COUNT] = {
    0, WYN_ON_DEMAND_BUCKETS, WYN_ON_DEMAND_BUCKETS}; /* [0] unused; read by vocab/tables.cpp */

/* Adds word to a class's table (vocab/tables.cpp makes the class-1 and
** class-2 tables on demand). A null or empty word and a class outside
** 0..2 are ignored. */
void WYNAPI _wyn_add_keyword(char* word, cw_long word_class) {
  if (!word || !*word || word_class < 0 || word_class >= WYN_CLASS_COUNT) return;
  wyn_add_word(word, word_class);
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
