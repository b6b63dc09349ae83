/*
** The plug-in's view of its host editor.
** Every editor operation the plug-in calls is declared here once, and the
** plug-in reaches the editor in no other way. Import numbers are in brackets.
** The values passed and answered with a fixed meaning are in contract.h.
*/
#ifndef WYN_HOST_H
#define WYN_HOST_H

#include <stdint.h>

#include "contract.h" /* the values exchanged with the editor */

/* Binary contract: C calling convention, 32-bit integers. The editor's
** 'long' and 'int' are both 32 bits wide on every build. */
#if defined(_WIN32)
#define CWAPI __cdecl
#else
#define CWAPI
#endif

/* Symbols the stand-in editor exports; the plug-in merely imports them. */
#if defined(CW_BUILDING_HOST)
#if defined(_WIN32)
#define CWEXPORT __declspec(dllexport)
#else
#define CWEXPORT __attribute__((visibility("default")))
#endif
#else
#define CWEXPORT
#endif

typedef int32_t cw_long; /* the editor's 'long' and 'int' */
typedef void* cw_table;  /* handle of an editor-owned hash table */
typedef void** cw_slot;  /* value slot of a hash entry: holds one pointer */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- CWDLL32.dll ---------------------------------------------------- */

/* Registration */
CWEXPORT cw_long CWAPI HostStartup(cw_long a, cw_long b);     /* [10]  */
CWEXPORT cw_long CWAPI ExportFunction(const char* prototype); /* [252] */

/* Category colours: CW_QUERY asks, any other value sets. */
CWEXPORT cw_long CWAPI ColorOfComments(cw_long colour);  /* [131] */
CWEXPORT cw_long CWAPI ColorOfConstants(cw_long colour); /* [595] */
CWEXPORT cw_long CWAPI ColorOfKeywords(cw_long colour);  /* [136] */
CWEXPORT cw_long CWAPI ColorOfFunctions(cw_long colour); /* [590] */
CWEXPORT cw_long CWAPI ColorOfStrings(cw_long colour);   /* [587] */
CWEXPORT cw_long CWAPI ColorOfNumbers(cw_long colour);   /* [588] */
CWEXPORT cw_long CWAPI ColorOfOperators(cw_long colour); /* [594] */

/* Colouring */
CWEXPORT cw_long CWAPI ColorRun(cw_long colour, cw_long n); /* [465] */
CWEXPORT cw_long CWAPI ColorClear(cw_long first, cw_long last, cw_long col_from, cw_long col_to,
                                  cw_long flag);               /* [9]   */
CWEXPORT cw_long CWAPI ColorUpdateBegin(cw_long how);          /* [623] */
CWEXPORT cw_long CWAPI ColorUpdateEnd(cw_long how);            /* [622] */
CWEXPORT cw_long CWAPI LineRange(cw_long first, cw_long last); /* [420] */
CWEXPORT cw_long CWAPI RefreshLines(cw_long range);            /* [655] */

/* Scan position */
CWEXPORT cw_long CWAPI ScanGetPos(void);           /* [193] */
CWEXPORT cw_long CWAPI ScanSetPos(cw_long pos);    /* [471] */
CWEXPORT cw_long CWAPI ScanChar(void);             /* [468] */
CWEXPORT cw_long CWAPI ScanNext(void);             /* [463] */
CWEXPORT cw_long CWAPI ScanPrev(void);             /* [470] */
CWEXPORT cw_long CWAPI ScanLine(void);             /* [469] */
CWEXPORT cw_long CWAPI ScanLineStart(cw_long how); /* [464] */
CWEXPORT cw_long CWAPI ScanLineDown(cw_long n);    /* [466] */
CWEXPORT cw_long CWAPI ScanPrevLine(void);         /* [494] */
CWEXPORT cw_long CWAPI ScanLineLastChar(void);     /* [495] */
CWEXPORT cw_long CWAPI ScanStateFlag(void);        /* [467] */

/* Cursor */
CWEXPORT cw_long CWAPI PushPosition(void);        /* [306] */
CWEXPORT cw_long CWAPI PopPosition(void);         /* [303] */
CWEXPORT cw_long CWAPI DropPosition(cw_long how); /* [268] */
CWEXPORT cw_long CWAPI CursorLine(void);          /* [41]  */
CWEXPORT cw_long CWAPI CursorColumn(void);        /* [40]  */
CWEXPORT cw_long CWAPI CharAtCursor(void);        /* [77]  */
CWEXPORT cw_long CWAPI CursorDown(cw_long n);     /* [325] */
CWEXPORT cw_long CWAPI CursorToTop(void);         /* [339] */

/* Text, search */
CWEXPORT char* CWAPI GetTextAtCursor(cw_long n); /* [78]  */
CWEXPORT cw_long CWAPI RegexSearch(const char* pattern, cw_long flags,
                                   cw_long reserved); /* [360] */
CWEXPORT cw_long CWAPI InsertChar(cw_long ch);        /* [28]  */
CWEXPORT cw_long CWAPI ExpandPrepare(void);           /* [24]  */

/* Routine view, display, messages */
CWEXPORT cw_long CWAPI MarkLines(cw_long first, cw_long last, cw_long flag); /* [11] */
CWEXPORT cw_long CWAPI MarkCommit(void);                                     /* [329] */
CWEXPORT cw_long CWAPI RoutineViewReset(void);                               /* [82]  */
CWEXPORT cw_long CWAPI RoutineViewShow(void);                                /* [86]  */
CWEXPORT cw_long CWAPI DisplayHold(void);                                    /* [414] */
CWEXPORT cw_long CWAPI DisplayRelease(void);                                 /* [413] */
CWEXPORT cw_long CWAPI ShowMessage(const char* text);                        /* [346] */

/* Strings and memory */
CWEXPORT char* CWAPI StrDup(const char* s);                   /* [379] */
CWEXPORT void CWAPI StrFree(char* s);                         /* [373] */
CWEXPORT char* CWAPI StrTrim(const char* s, const char* set); /* [385] */
CWEXPORT char* CWAPI StrAppend(char* a, const char* b);       /* [371] */
CWEXPORT cw_long CWAPI StrSearch(const char* key, const char* text, cw_long mode,
                                 cw_long reserved); /* [377] */
CWEXPORT void* CWAPI MemAlloc(cw_long n);           /* [311] */
CWEXPORT void CWAPI MemFree(void* block);           /* [313] */

/* Hash tables */
CWEXPORT cw_table CWAPI HashCreate(cw_long buckets, cw_long slot_size, cw_long flag); /* [195] */
CWEXPORT cw_slot CWAPI HashInsert(cw_table table, const void* key, cw_long length);   /* [201] */
CWEXPORT cw_slot CWAPI HashFind(cw_table table, const void* key, cw_long length);     /* [198] */

/* ---- CWSTART.dll ---------------------------------------------------- */

CWEXPORT cw_long CWAPI RegisterExtension(const char* extension); /* [15]  */
CWEXPORT cw_long CWAPI ExpandTemplate(const char* text);         /* [121] */
CWEXPORT cw_long CWAPI InsertNewLine(void);                      /* [122] */
CWEXPORT cw_long CWAPI ScanLineLimit(cw_long limit);             /* [246] */
CWEXPORT cw_long CWAPI TemplateAssign(cw_table table, const char* name,
                                      const char* text); /* [254] */

#ifdef __cplusplus
}
#endif

#endif /* WYN_HOST_H */
