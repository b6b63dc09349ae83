/*
** The plug-in linked into its host program instead of loaded as a library.
** The host calls wyn_attach and wyn_detach where a loader runs a library's
** initialiser and finaliser, and finds the exports by name in the table
** below where it would ask the loader. A loader gives every load a fresh
** copy of the module's data; detach puts back the values that copy starts
** with, so that an unload and a reload behave as with a library: start-up
** runs again, and no handle of a table the editor has dropped survives.
*/
#if defined(WYN_STATIC_PLUGIN)

#include <string.h>

#include "exports.h"
#include "module.h"

typedef void (*wyn_entry)(void);

namespace {

struct named_entry {
  const char* name;
  wyn_entry fn;
};

/* Every export of the library form (wyn.def's eleven). */
const named_entry exported[] = {
    {"_wyn_expand", reinterpret_cast<wyn_entry>(_wyn_expand)},
    {"_wyn_init", reinterpret_cast<wyn_entry>(_wyn_init)},
    {"_wyn_indent", reinterpret_cast<wyn_entry>(_wyn_indent)},
    {"_wyn_language_colors_update", reinterpret_cast<wyn_entry>(_wyn_language_colors_update)},
    {"_init", reinterpret_cast<wyn_entry>(_init)},
    {"_wyn_assign_template", reinterpret_cast<wyn_entry>(_wyn_assign_template)},
    {"_wyn_add_keyword", reinterpret_cast<wyn_entry>(_wyn_add_keyword)},
    {"_wyn_language_colors", reinterpret_cast<wyn_entry>(_wyn_language_colors)},
    {"_wyn_routines", reinterpret_cast<wyn_entry>(_wyn_routines)},
    {"_wyn_hash_size", reinterpret_cast<wyn_entry>(_wyn_hash_size)},
    {"WYNSetCommentChar", reinterpret_cast<wyn_entry>(WYNSetCommentChar)},
};

}  // namespace

extern "C" {

void wyn_attach(void) {}

void wyn_detach(void) {
  wyn_startup_pending = 1;
  for (cw_table& t : wyn_keyword_tables) t = 0;
  wyn_template_table = 0;
  lines_coloured = 0;
  memcpy(wyn_comment_introducer, WYN_COMMENT_INTRODUCER, sizeof wyn_comment_introducer);
  wyn_on_demand_buckets[1] = WYN_ON_DEMAND_BUCKETS;
  wyn_on_demand_buckets[2] = WYN_ON_DEMAND_BUCKETS;
}

/* The export called name, or null: what the loader answers for a symbol. */
wyn_entry wyn_static_symbol(const char* name) {
  for (const named_entry& e : exported)
    if (strcmp(e.name, name) == 0) return e.fn;
  return 0;
}

}  // extern "C"

#endif
