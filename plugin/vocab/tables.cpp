/*
** Keyword tables: one editor-owned hash table per word class, built once
** at start-up from the built-in lists and grown by _wyn_add_keyword. This
** file is the only one that creates or fills them.
*/
#include <string.h>

#include "../frame/module.h"

/* Written here only: at start-up and when a word added later needs a
** class-1 or class-2 table; read by the colouring scanner. Null until a
** table is created. */
cw_table wyn_keyword_tables[WYN_CLASS_COUNT];

enum { KEYWORD_BUCKETS = 539 };

/* Inserts a word into a keyword table, its value slot holding a StrDup copy
** of the word; a refused insertion stores nothing. */
static void store_word(cw_table table, const char* word) {
  cw_slot slot = HashInsert(table, word, (cw_long)strlen(word));
  if (slot) *slot = StrDup(word); /* a refused copy leaves a null value; only the key matters */
}

/* Each table is created right before it is filled, class 0 first, and
** replaces whatever table its handle held. The value slot holds one pointer. */
void wyn_build_keyword_tables(void) {
  static const char* const* const lists[WYN_CLASS_COUNT] = {wyn_class0_words, wyn_class1_words,
                                                            wyn_class2_words};
  for (int c = 0; c < WYN_CLASS_COUNT; c++) {
    cw_table table = HashCreate(KEYWORD_BUCKETS, (cw_long)sizeof(void*), CW_HASH_KEYWORDS);
    wyn_keyword_tables[c] = table;
    for (const char* const* w = lists[c]; *w; w++) store_word(table, *w);
  }
}

/* Classes 1 and 2 get a table on demand, sized by the configured bucket
** count; class 0 has its table only from start-up, and a class-0 word
** before that (or any word whose table could not be made) is ignored rather
** than handed to the hash service with no table. The caller has checked
** the word and the class. */
void wyn_add_word(const char* word, cw_long word_class) {
  if (!wyn_keyword_tables[word_class] && word_class != 0)
    wyn_keyword_tables[word_class] =
        HashCreate(wyn_on_demand_buckets[word_class], (cw_long)sizeof(void*), CW_HASH_KEYWORDS);
  if (!wyn_keyword_tables[word_class]) return;
  /* A word the table already holds keeps the copy it has: storing a second
  ** one over it would lose the first for good. */
  cw_slot held = HashFind(wyn_keyword_tables[word_class], word, (cw_long)strlen(word));
  if (held && *held) return;
  store_word(wyn_keyword_tables[word_class], word);
}
