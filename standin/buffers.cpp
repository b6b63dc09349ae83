/*
** The editor's state and its buffers: making, choosing and freeing them
** (the current one lives inline in the state, the others wait parked),
** and the reset that puts the whole editor back to its defaults.
*/
#include "model.h"

#include <assert.h>
#include <stdlib.h>
#include <new>

namespace cw {

Editor ed; /* written by every operation; read by every operation */

/* Category colours out of the box: nonzero and distinct (BGR values). */
static const cw_long default_colours[CW_CATEGORY_COUNT] = {
    0x008000, /* comments: green */
    0x800080, /* constants: purple */
    0xFF0000, /* keywords: blue */
    0x808000, /* functions: teal */
    0x000080, /* strings: maroon */
    0x008080, /* numbers: olive */
    0x800000, /* operators: navy */
};

/* {====== buffers */

/* d becomes an empty buffer with a new handle. Without memory for its
** palette and index it has none, which its empty text never reads. */
static bool make_empty(Buffer* d) {
  *d = Buffer();
  d->id = ++ed.buffer_serial;
  d->lines = 1;
  d->run_low = -1;
  d->generation = ++ed.generation_serial;
  try {
    d->palette.assign(1, CW_NO_COLOUR);
    d->fw_len.assign(1, 0);
    d->fw_lfs.assign(1, 0);
  } catch (const std::bad_alloc&) {
    refused();
    return false;
  }
  return true;
}

cw_doc new_buffer(void) {
  if (buffer_alloc_fails()) return 0;
  Buffer* d = NULL;
  try {
    d = new Buffer();
    if (!make_empty(d)) {
      delete d;
      return 0;
    }
    ed.parked.reserve(ed.parked.size() + 1);
    ed.parked_at[d->id] = ed.parked.size();
  } catch (const std::bad_alloc&) {
    delete d;
    refused();
    return 0;
  }
  ed.parked.push_back(d);
  return d->id;
}

/* Where the parked buffer id is, or parked.size() when it is none. */
static size_t parked_index(cw_doc id) {
  std::unordered_map<cw_doc, size_t>::const_iterator it = ed.parked_at.find(id);
  return it == ed.parked_at.end() ? ed.parked.size() : it->second;
}

/* The current buffer's state swaps places with the parked one, so the
** parked list keeps every other buffer and the operations keep reaching
** the current one directly. */
bool select_buffer(cw_doc id) {
  if (id == ed.id) return id != 0;
  size_t i = parked_index(id);
  if (i == ed.parked.size()) return false;
  assert(ed.parked[i]->id == id);
  std::swap(static_cast<Buffer&>(ed), *ed.parked[i]);
  /* the entry now names the buffer that took the slot: no allocation */
  std::unordered_map<cw_doc, size_t>::node_type entry = ed.parked_at.extract(id);
  entry.key() = ed.parked[i]->id;
  ed.parked_at.insert(std::move(entry));
  return true;
}

/* Takes parked buffer i out of the list: the last one fills its place. */
static Buffer* unpark(size_t i) {
  assert(i < ed.parked.size());
  Buffer* d = ed.parked[i];
  ed.parked_at.erase(d->id);
  if (i + 1 < ed.parked.size()) {
    ed.parked[i] = ed.parked.back();
    ed.parked_at[ed.parked[i]->id] = i;
  }
  ed.parked.pop_back();
  return d;
}

/* Freeing the current buffer makes another current, so that no buffer
** stays behind that no handle names: the one parked last, or, when there
** is none, a fresh empty one. */
bool free_buffer(cw_doc id) {
  if (id == 0) return false;
  if (id == ed.id) {
    if (ed.parked.empty()) {
      make_empty(&ed);
      return true;
    }
    Buffer* next = unpark(ed.parked.size() - 1);
    static_cast<Buffer&>(ed) = std::move(*next);
    delete next;
    return true;
  }
  size_t i = parked_index(id);
  if (i == ed.parked.size()) return false;
  delete unpark(i);
  return true;
}

/* }====== */

/* Gives back every block the ledger holds, every table and every parked
** buffer. */
static void release_memory(void) {
  for (std::unordered_map<void*, Block>::iterator it = ed.ledger.begin(); it != ed.ledger.end();
       ++it)
    free(it->first);
  ed.ledger.clear();
  free_tables();
  for (size_t i = 0; i < ed.parked.size(); i++) delete ed.parked[i];
  ed.parked.clear();
  ed.parked_at.clear();
}

void reset_state(void) {
  release_memory();
  if (ed.module != NULL) module_close(ed.module);

  unsigned long long generation_serial = ed.generation_serial;
  cw_doc buffer_serial = ed.buffer_serial;
  uintptr_t table_serial = ed.table_serial;
  ed = Editor();
  ed.generation_serial = generation_serial;
  ed.buffer_serial = buffer_serial;
  ed.table_serial = table_serial;
  ed.first_table_serial = table_serial;
  for (int i = 0; i < CW_CATEGORY_COUNT; i++) ed.category[i] = default_colours[i];
  ed.scan_line_limit = 40; /* the documented default */
  ed.record_runs = true;
  ed.next_serial = 1;
  make_empty(&ed);
}

/* Bring the state to its defaults before anybody calls in. */
[[maybe_unused]] static const bool initialised = (reset_state(), true);

/* At exit, give back what the plug-in left with the editor on purpose (the
** keyword tables and their copies), so that leak checkers report only real
** leaks. Defined after ed, so it runs before ed is destroyed. */
static struct ReleaseAtExit {
  ~ReleaseAtExit() { release_memory(); }
} release_at_exit;

}  // namespace cw
