/*
** The hash service: chained buckets, keys compared byte for byte, value
** slots at least pointer-sized and zeroed. Tables are not in the ledger;
** neither are the texts TemplateAssign copies. A table a module made goes
** with the module when it is unloaded.
*/
#include "model.h"

#include <stdlib.h>
#include <string.h>

using cw::ed;

namespace cw {

static const size_t MAX_BUCKETS = 1 << 20;    /* larger requests get this many */
static const uintptr_t HANDLE_BASE = 0x10000; /* handle of table serial s: base + step * s */
static const uintptr_t HANDLE_STEP = 16;

/* Words are short: up to 16 bytes are read as two overlapping loads and
** mixed with one multiply each, longer keys eight bytes per step. */
static inline uint64_t load8(const unsigned char* p) {
  uint64_t w;
  memcpy(&w, p, 8);
  return w;
}
static inline uint32_t load4(const unsigned char* p) {
  uint32_t w;
  memcpy(&w, p, 4);
  return w;
}
static inline uint32_t hash_of(const void* key, size_t n) {
  const unsigned char* p = (const unsigned char*)key;
  const uint64_t mul = 0x9E3779B97F4A7C15ull;
  uint64_t a, b;
  if (n >= 8 && n <= 16) {
    a = load8(p);
    b = load8(p + n - 8);
  } else if (n >= 4 && n < 8) {
    a = load4(p);
    b = load4(p + n - 4);
  } else if (n > 0 && n < 4) {
    a = (uint64_t)p[0] << 16 | (uint64_t)p[n / 2] << 8 | p[n - 1];
    b = 0;
  } else {
    a = b = 0;
    for (; n > 16; n -= 8, p += 8) b = (b ^ load8(p)) * mul, b ^= b >> 29;
    if (n >= 8)
      a = load8(p), b ^= load8(p + n - 8) * mul;
    else
      for (size_t i = 0; i < n; i++) a |= (uint64_t)p[i] << (8 * i);
  }
  uint64_t h = ((a ^ (uint64_t)n * mul) * mul) ^ (b + (b >> 31)) * 0xC2B2AE3D27D4EB4Full;
  h ^= h >> 29;
  return (uint32_t)(h ^ (h >> 32));
}

/* Maps a hash onto 0..buckets-1 by a multiply instead of a division. */
static size_t bucket_of(const Table* t, uint32_t h) {
  return (size_t)(((uint64_t)h * (uint64_t)t->buckets.size()) >> 32);
}

/* Most words looked up are in no table: a small bit filter of the hashes
** present answers those without touching the buckets. */
static bool maybe_present(const Table* t, uint32_t h) {
  uint32_t bit = h % FILTER_BITS;
  return (t->filter[bit / 64] >> (bit % 64)) & 1;
}

/* Handles are serial numbers, never pointers and never reused, so a stale
** handle from before a reset, or of a table dropped with its module, finds
** nothing instead of freed memory. */
Table* find_table(const void* handle) {
  uintptr_t h = (uintptr_t)handle;
  if (h <= HANDLE_BASE || (h - HANDLE_BASE) % HANDLE_STEP != 0) return NULL;
  uintptr_t serial = (h - HANDLE_BASE) / HANDLE_STEP;
  if (serial <= ed.first_table_serial) return NULL; /* from before the last reset */
  uintptr_t index = serial - ed.first_table_serial - 1;
  return index < ed.table_slots.size() ? ed.table_slots[index] : NULL;
}

/* The first two bytes of a key of two or more, as a bit number. */
static inline unsigned lead_of(const void* key) {
  const unsigned char* p = (const unsigned char*)key;
  return (unsigned)p[0] | (unsigned)p[1] << 8;
}

/* Most words looked up are in no table, and most of those share their
** first two bytes with no key: one bit answers them before any hashing. */
Entry* find_entry(const Table* t, const void* key, size_t n) {
  if (n >= 2) {
    unsigned lead = lead_of(key);
    if (!((t->lead[lead / 64] >> (lead % 64)) & 1)) return NULL;
  }
  uint32_t h = hash_of(key, n);
  if (!maybe_present(t, h)) return NULL;
  for (Entry* e = t->buckets[bucket_of(t, h)]; e != NULL; e = e->next)
    if (e->hash == h && e->key.size() == n && (n == 0 || memcmp(e->key.data(), key, n) == 0))
      return e;
  return NULL;
}

Entry* add_entry(Table* t, const void* key, size_t n) {
  void* slot = calloc(1, (size_t)t->slot_size);
  if (slot == NULL) {
    refused();
    return NULL;
  }
  Entry* e = new (std::nothrow) Entry();
  try {
    if (e == NULL) throw std::bad_alloc();
    e->key.assign((const char*)key, n);
    t->entries.reserve(t->entries.size() + 1);
  } catch (const std::bad_alloc&) {
    delete e;
    free(slot);
    refused();
    return NULL;
  }
  e->hash = hash_of(key, n);
  e->slot = slot;
  e->text = NULL;
  t->filter[e->hash % FILTER_BITS / 64] |= (uint64_t)1 << (e->hash % 64);
  if (n >= 2) t->lead[lead_of(key) / 64] |= (uint64_t)1 << (lead_of(key) % 64);
  size_t b = bucket_of(t, e->hash);
  e->next = t->buckets[b];
  t->buckets[b] = e;
  t->entries.push_back(e);
  return e;
}

static void free_table(Table* t) {
  for (size_t j = 0; j < t->entries.size(); j++) {
    free(t->entries[j]->slot);
    free(t->entries[j]->text);
    delete t->entries[j];
  }
  delete t;
}

void free_tables(void) {
  for (size_t i = 0; i < ed.tables.size(); i++) free_table(ed.tables[i]);
  ed.tables.clear();
  ed.table_slots.clear();
}

/* The slots of dropped tables at the front go: all of them when no table
** the editor made itself came before the module's, so that loading and
** unloading again and again leaves no trail. Behind a table of the
** editor's, the empty slots stay (one pointer each): handles are never
** reused, so the slots of later tables cannot close the gap. */
void drop_tables_of(Owner owner) {
  size_t kept = 0;
  for (size_t i = 0; i < ed.tables.size(); i++) {
    Table* t = ed.tables[i];
    if (t->owner != owner) {
      ed.tables[kept++] = t;
      continue;
    }
    ed.table_slots[(t->handle - HANDLE_BASE) / HANDLE_STEP - ed.first_table_serial - 1] = NULL;
    free_table(t);
  }
  ed.tables.resize(kept);
  size_t gone = 0;
  while (gone < ed.table_slots.size() && ed.table_slots[gone] == NULL) gone++;
  ed.table_slots.erase(ed.table_slots.begin(), ed.table_slots.begin() + (ptrdiff_t)gone);
  ed.first_table_serial += gone;
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
  cw::Table* t = new (std::nothrow) cw::Table();
  if (t == NULL) {
    cw::refused();
    return NULL;
  }
  t->handle = cw::HANDLE_BASE + cw::HANDLE_STEP * ++ed.table_serial;
  t->owner = ed.owner;
  t->slot_size = slot_size < (cw_long)sizeof(void*) ? (cw_long)sizeof(void*) : slot_size;
  t->flag = flag;
  size_t n = buckets <= 0                        ? 1
             : (size_t)buckets > cw::MAX_BUCKETS ? cw::MAX_BUCKETS
                                                 : (size_t)buckets;
  try {
    t->buckets.assign(n, NULL);
    ed.tables.reserve(ed.tables.size() + 1);
    ed.table_slots.reserve(ed.table_slots.size() + 1);
  } catch (const std::bad_alloc&) {
    --ed.table_serial;
    delete t;
    cw::refused();
    return NULL;
  }
  ed.tables.push_back(t);
  ed.table_slots.push_back(t);
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

/* Called for most words a colouring pass reads: the look-up is made in
** one piece, without calls of its own. */
CW_FLATTEN CWEXPORT cw_slot CWAPI HashFind(cw_table table, const void* key, cw_long length) {
  CW_ENTER("HashFind", "tk", table, key, length);
  cw::Table* t = cw::usable(table, key, length);
  if (t == NULL) return NULL;
  cw::Entry* e = cw::find_entry(t, key, (size_t)length);
  return e == NULL ? NULL : (cw_slot)e->slot;
}

} /* extern "C" */
