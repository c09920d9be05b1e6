/* The public header as a C host includes it: every suite links this file, so
 * a header that C cannot compile fails the build. */
#include "omra/omra.h"

/* One declaration, two handles: the handle is a type. */
static OMRA_HANDLE g_first, g_second;
typedef char SecondIsAHandle[sizeof(g_second) == sizeof(void*) ? 1 : -1];

int OmraCHeaderCheck(void) {
    PFN_Omra_FreeAction freeAction = 0;
    (void)freeAction;
    return g_first == g_second;
}
