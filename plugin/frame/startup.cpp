/*
** Start-up: the first call of _init or _wyn_init announces the plug-in's
** functions to the editor, builds the vocabulary and binds ".wyn".
*/
#include "exports.h"
#include "module.h"

int wyn_startup_pending = 1; /* see module.h */

/* The functions the editor may call by name, in registration order.
** _init and _wyn_init are not registered. */
static const char* const prototypes[] = {"BOOL _wyn_expand",
                                         "_wyn_assign_template LPSTR LPSTR",
                                         "BOOL _wyn_indent",
                                         "long _wyn_language_colors_update long long",
                                         "_wyn_language_colors long",
                                         "WYNSetCommentChar LPSTR",
                                         "_wyn_add_keyword LPSTR int",
                                         "_wyn_hash_size int int",
                                         "_wyn_routines",
                                         0};

/* No result of a host call made here is tested: a refused registration or
** binding leaves that function or binding missing and start-up goes on. */
void WYNAPI _wyn_init(void) {
  if (!wyn_startup_pending) return;
  HostStartup(CW_STARTUP_FIRST, CW_STARTUP_SECOND);
  ColorOfConstants(CW_CONSTANTS_COLOUR); /* the colour of class-0 words */
  for (const char* const* p = prototypes; *p; p++) ExportFunction(*p);
  wyn_startup_pending = 0;
  wyn_build_keyword_tables();
  wyn_build_template_table();
  RegisterExtension(".wyn");
}

void WYNAPI _init(void) {
  _wyn_init();
}
