/*
** The colouring scanner: one forward pass over a run of lines.
*/
#include "../frame/exports.h"
#include "../frame/module.h"

cw_long lines_coloured = 0; /* written by _wyn_language_colors; read by update.cpp */

void WYNAPI _wyn_language_colors(cw_long count)
{
    (void)count;
    lines_coloured = 0;
}
