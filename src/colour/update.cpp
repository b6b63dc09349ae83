/*
** Range re-colouring after an edit.
*/
#include "../frame/exports.h"
#include "../frame/module.h"

cw_long WYNAPI _wyn_language_colors_update(cw_long first, cw_long last)
{
    (void)first;
    (void)last;
    return 0;
}
