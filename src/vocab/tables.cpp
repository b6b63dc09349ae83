/*
** Keyword tables: one editor-owned hash table per word class, built once
** at start-up from the built-in lists and grown by _wyn_add_keyword.
*/
#include <string.h>

#include "../frame/module.h"

/* Written here at start-up and by frame/config.cpp (on-demand tables);
** read by the colouring scanner. Null until a table is created. */
cw_table wyn_keyword_tables[WYN_CLASS_COUNT];

enum { KEYWORD_BUCKETS = 539 };

void wyn_store_word(cw_table table, const char* word) {
  cw_slot slot = HashInsert(table, word, (cw_long)strlen(word));
  if (slot) *slot = StrDup(word); /* a refused copy leaves a null value; only the key matters */
}

/* Each table is created right before it is filled, class 0 first, and
** replaces whatever table its handle held. The value slot holds one pointer. */
void wyn_build_keyword_tables(void) {
  static const char* const* const lists[WYN_CLASS_COUNT] = {wyn_class0_words, wyn_class1_words,
                                                            wyn_class2_words};
  for (int c = 0; c < WYN_CLASS_COUNT; c++) {
    cw_table table = HashCreate(KEYWORD_BUCKETS, (cw_long)sizeof(void*), 0);
    wyn_keyword_tables[c] = table;
    for (const char* const* w = lists[c]; *w; w++) wyn_store_word(table, *w);
  }
}
