/*
** Strings and memory handed to the plug-in, all through one ledger that
** knows every live block and who it was made for, reports frees of unknown
** pointers and can fail the k-th allocating call on request.
*/
#include "model.h"

#include <stdlib.h>
#include <string.h>

using cw::ed;

namespace cw {

/* Counts one allocating call; true when this is the one set to fail. The
** failure is one-shot: later calls succeed again. */
bool alloc_fails(void) {
  ed.alloc_calls++;
  if (ed.fail_at != 0 && ed.alloc_calls == ed.fail_at) {
    ed.fail_at = 0;
    refused();
    return true;
  }
  return false;
}

void* ledger_block(size_t n, int kind) {
  void* p = malloc(n == 0 ? 1 : n);
  if (p == NULL) {
    refused();
    return NULL;
  }
  Block b = {kind, ed.next_serial, ed.owner};
  try {
    ed.ledger[p] = b;
  } catch (const std::bad_alloc&) {
    free(p);
    refused();
    return NULL;
  }
  ed.next_serial++;
  return p;
}

char* ledger_string(const char* s, size_t n) {
  char* p = (char*)ledger_block(n + 1, BLOCK_STRING);
  if (p == NULL) return NULL;
  if (n > 0) memcpy(p, s, n);
  p[n] = '\0';
  return p;
}

/* Releases p. NULL is a no-op; a pointer the ledger does not know is
** counted as a bad free and left alone; a string freed as memory (or the
** reverse) is counted as a bad free but released. */
bool ledger_release(void* p, int kind) {
  if (p == NULL) return true;
  std::unordered_map<void*, Block>::iterator it = ed.ledger.find(p);
  if (it == ed.ledger.end()) {
    ed.bad_frees++;
    return false;
  }
  bool ok = it->second.kind == kind;
  if (!ok) ed.bad_frees++;
  ed.ledger.erase(it);
  free(p);
  return ok;
}

size_t drop_blocks_of(Owner owner) {
  size_t n = 0;
  for (std::unordered_map<void*, Block>::iterator it = ed.ledger.begin(); it != ed.ledger.end();)
    if (it->second.owner == owner) {
      free(it->first);
      it = ed.ledger.erase(it);
      n++;
    } else {
      ++it;
    }
  return n;
}

}  // namespace cw

static bool in_set(char c, const char* set) {
  return c != '\0' && set != NULL && strchr(set, c) != NULL;
}

extern "C" {

CWEXPORT char* CWAPI StrDup(const char* s) {
  CW_ENTER("StrDup", "s", s);
  if (cw::alloc_fails() || s == NULL) return NULL;
  return cw::ledger_string(s, strlen(s));
}

CWEXPORT void CWAPI StrFree(char* s) {
  CW_ENTER("StrFree", "p", s);
  cw::ledger_release(s, cw::BLOCK_STRING);
}

/* A new copy of s without characters of set at either end; "" when nothing
** remains, NULL when s is NULL. A NULL set trims nothing. */
CWEXPORT char* CWAPI StrTrim(const char* s, const char* set) {
  CW_ENTER("StrTrim", "ss", s, set);
  if (cw::alloc_fails() || s == NULL) return NULL;
  size_t a = 0, b = strlen(s);
  while (a < b && in_set(s[a], set)) a++;
  while (b > a && in_set(s[b - 1], set)) b--;
  return cw::ledger_string(s + a, b - a);
}

/* A new string a + b. a is released by the call, always, also when the
** call fails; NULL a or b counts as "". */
CWEXPORT char* CWAPI StrAppend(char* a, const char* b) {
  CW_ENTER("StrAppend", "ss", a, b);
  char* out = NULL;
  if (!cw::alloc_fails()) {
    size_t na = a == NULL ? 0 : strlen(a);
    size_t nb = b == NULL ? 0 : strlen(b);
    out = (char*)cw::ledger_block(na + nb + 1, cw::BLOCK_STRING);
    if (out != NULL) {
      if (na > 0) memcpy(out, a, na);
      if (nb > 0) memcpy(out + na, b, nb);
      out[na + nb] = '\0';
    }
  }
  cw::ledger_release(a, cw::BLOCK_STRING);
  return out;
}

/* Nonzero when key occurs in text, byte for byte; the mode changes nothing. */
CWEXPORT cw_long CWAPI StrSearch(const char* key, const char* text, cw_long mode,
                                 cw_long reserved) {
  CW_ENTER("StrSearch", "ssii", key, text, mode, reserved);
  if (key == NULL || text == NULL) return 0;
  return strstr(text, key) != NULL ? 1 : 0;
}

/* n <= 0 gives NULL. The block is filled with 0xCD, not zeroed, so that a
** caller relying on zeroed memory shows up. */
CWEXPORT void* CWAPI MemAlloc(cw_long n) {
  CW_ENTER("MemAlloc", "i", n);
  if (cw::alloc_fails() || n <= 0) return NULL;
  void* p = cw::ledger_block((size_t)n, cw::BLOCK_MEMORY);
  if (p != NULL) memset(p, 0xCD, (size_t)n);
  return p;
}

CWEXPORT void CWAPI MemFree(void* block) {
  CW_ENTER("MemFree", "p", block);
  cw::ledger_release(block, cw::BLOCK_MEMORY);
}

} /* extern "C" */
