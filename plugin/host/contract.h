/*
** The values the plug-in and its host editor hand each other with a fixed
** meaning: codes the editor answers, flags and modes the plug-in passes.
** Each is named here once; both the plug-in and the stand-in editor use
** these names and write none of the numbers themselves. Counts and sizes
** the plug-in picks for itself are named where they are used. Each is
** typed as the editor's 32-bit integer (cw_long), so that it mixes with
** that type anywhere, conditional expressions included.
*/
#ifndef WYN_HOST_CONTRACT_H
#define WYN_HOST_CONTRACT_H

#include <stdint.h>

/* Answers of the editor */
static const int32_t CW_NO_CHAR = 256;    /* a character read beyond either end of the buffer */
static const int32_t CW_NO_LAST_CHAR = 0; /* ScanLineLastChar: the line has no character */
/* A category colour that colours nothing; what ColorClear leaves behind. */
static const int32_t CW_NO_COLOUR = 0;

/* Positions */
static const int32_t CW_AT_CURSOR = -1; /* ScanSetPos: put the scan position at the cursor */

/* Settings: ColorOf* and ScanLineLimit answer without changing anything */
static const int32_t CW_QUERY = -1;

/* RegexSearch flags */
static const int32_t CW_SEARCH_BACKWARD = 16;
static const int32_t CW_SEARCH_FORWARD = 18;

/* StrSearch mode used for whole-word lookups */
static const int32_t CW_STRSEARCH_MODE = 3;

/* ColorClear: the columns of whole lines, and the flag passed */
static const int32_t CW_FIRST_COLUMN = 1;
static const int32_t CW_LAST_COLUMN = 0x7FFFFFFF;
static const int32_t CW_CLEAR_FLAG = 0;

/* ColorUpdateBegin and ColorUpdateEnd: the one argument used */
static const int32_t CW_UPDATE_HOW = 1;

/* ScanLineStart: the one argument used */
static const int32_t CW_LINE_START_HOW = 0;

/* DropPosition: forget the saved cursor without moving */
static const int32_t CW_DROP_HOW = 1;

/* MarkLines: (0, 0, CW_MARK_CLEAR) clears every mark, CW_MARK_SET marks */
static const int32_t CW_MARK_CLEAR = 0;
static const int32_t CW_MARK_SET = 1;

/* HashCreate flags */
static const int32_t CW_HASH_KEYWORDS = 0;  /* keyword tables */
static const int32_t CW_HASH_TEMPLATES = 1; /* the template table */

/* HostStartup's two settings */
static const int32_t CW_STARTUP_FIRST = 10;
static const int32_t CW_STARTUP_SECOND = 0x00FF00FF;

/* ColorOfConstants at start-up: the colour of class-0 words */
static const int32_t CW_CONSTANTS_COLOUR = 250;

/* _wyn_language_colors: colour the whole buffer, not a count of lines */
static const int32_t CW_ALL_LINES = -1;

#endif /* WYN_HOST_CONTRACT_H */
