/*
** The hash service: chained buckets, keys compared byte for byte, value
** slots at least pointer-sized and zeroed. Tables belong to the editor and
** are not in the ledger; neither are the texts TemplateAssign copies.
*/
#include "model.h"

#include <stdlib.h>
#include <string.h>

using cw::ed;

namespace cw {

static const size_t MAX_BUCKETS = 1 << 20;  /* larger requests get this many */

static size_t bucket_of(const Table* t, const void* key, size_t n) {
  const unsigned char* p = (const unsigned char*)key;
  uint32_t h = 2166136261u;  /* FNV-1a */
  for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 16777619u;
  return h % t->buckets.size();
}

/* Handles are serial numbers, never pointers and never reused, so a stale
** handle from before a reset finds nothing instead of freed memory. */
Table* find_table(const void* handle) {
  if (handle == NULL) return NULL;
  for (size_t i = 0; i < ed.tables.size(); i++)
    if (ed.tables[i]->handle == (uintptr_t)handle) return ed.tables[i];
  return NULL;
}

Entry* find_entry(const Table* t, const void* key, size_t n) {
  for (Entry* e = t->buckets[bucket_of(t, key, n)]; e != NULL; e = e->next)
    if (e->key.size() == n && (n == 0 || memcmp(e->key.data(), key, n) == 0)) return e;
  return NULL;
}

static Entry* add_entry(Table* t, const void* key, size_t n) {
  void* slot = calloc(1, (size_t)t->slot_size);
  if (slot == NULL) return NULL;
  Entry* e = new Entry();
  e->key.assign((const char*)key, n);
  e->slot = slot;
  e->text = NULL;
  size_t b = bucket_of(t, key, n);
  e->next = t->buckets[b];
  t->buckets[b] = e;
  t->entries.push_back(e);
  return e;
}

void free_tables(void) {
  for (size_t i = 0; i < ed.tables.size(); i++) {
    Table* t = ed.tables[i];
    for (size_t j = 0; j < t->entries.size(); j++) {
      free(t->entries[j]->slot);
      free(t->entries[j]->text);
      delete t->entries[j];
    }
    delete t;
  }
  ed.tables.clear();
}

/* The checks HashInsert and HashFind share: a known table, a key that is
** there when a length is given, and no negative length. */
static Table* usable(cw_table table, const void* key, cw_long length) {
  if (length < 0 || (key == NULL && length > 0)) return NULL;
  return find_table(table);
}

}  // namespace cw

extern "C" {

/* buckets <= 0 counts as 1; the flag is recorded and changes nothing. */
CWEXPORT cw_table CWAPI HashCreate(cw_long buckets, cw_long slot_size, cw_long flag) {
  CW_ENTER("HashCreate", "iii", buckets, slot_size, flag);
  if (cw::alloc_fails()) return NULL;
  cw::Table* t = new cw::Table();
  t->handle = 0x10000 + 16 * ++ed.table_serial;
  t->buckets_asked = buckets;
  t->slot_size = slot_size < (cw_long)sizeof(void*) ? (cw_long)sizeof(void*) : slot_size;
  t->flag = flag;
  size_t n = buckets <= 0 ? 1 : (size_t)buckets > cw::MAX_BUCKETS ? cw::MAX_BUCKETS : (size_t)buckets;
  t->buckets.assign(n, NULL);
  ed.tables.push_back(t);
  return (cw_table)t->handle;
}

/* The slot of key, added zeroed when absent; a key already present answers
** its existing slot. NULL for a bad table or key, a refused key, or a
** failure. */
CWEXPORT cw_slot CWAPI HashInsert(cw_table table, const void* key, cw_long length) {
  CW_ENTER("HashInsert", "tk", table, key, length);
  if (cw::alloc_fails()) return NULL;
  cw::Table* t = cw::usable(table, key, length);
  if (t == NULL) return NULL;
  if (ed.has_refused_key && ed.refused_key.size() == (size_t)length &&
      (length == 0 || memcmp(ed.refused_key.data(), key, (size_t)length) == 0))
    return NULL;
  cw::Entry* e = cw::find_entry(t, key, (size_t)length);
  if (e == NULL) e = cw::add_entry(t, key, (size_t)length);
  return e == NULL ? NULL : (cw_slot)e->slot;
}

CWEXPORT cw_slot CWAPI HashFind(cw_table table, const void* key, cw_long length) {
  CW_ENTER("HashFind", "tk", table, key, length);
  cw::Table* t = cw::usable(table, key, length);
  if (t == NULL) return NULL;
  cw::Entry* e = cw::find_entry(t, key, (size_t)length);
  return e == NULL ? NULL : (cw_slot)e->slot;
}

/* Stores a copy of text in the slot of name, replacing an earlier copy.
** Refused keys and fault injection do not apply: this is not HashInsert.
** Answers 1, or 0 when it did nothing. */
CWEXPORT cw_long CWAPI TemplateAssign(cw_table table, const char* name, const char* text) {
  CW_ENTER("TemplateAssign", "tss", table, name, text);
  cw::Table* t = cw::find_table(table);
  if (t == NULL || name == NULL || text == NULL) return 0;
  size_t n = strlen(name);
  size_t len = strlen(text);
  char* copy = (char*)malloc(len + 1);
  if (copy == NULL) return 0;
  memcpy(copy, text, len + 1);
  cw::Entry* e = cw::find_entry(t, name, n);
  if (e == NULL) e = cw::add_entry(t, name, n);
  if (e == NULL) {
    free(copy);
    return 0;
  }
  free(e->text);
  e->text = copy;
  *(void**)e->slot = copy;
  return 1;
}

}  /* extern "C" */
