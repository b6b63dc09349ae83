/*
** Comment-context probes: is a buffer position inside a comment, and which
** comment delimiter lies nearest before or after the scan position.
*/
#include "../frame/module.h"

cw_long find_comment_start(cw_long position)
{
    (void)position;
    return -1;
}

cw_long find_comment_mark_before(void)
{
    return 0;
}

cw_long find_comment_mark_after(void)
{
    return 0;
}
