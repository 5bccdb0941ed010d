// The layer's report of states that should not arise: it names the place and
// lets processing go on.
#include "3d/context.h"

void _NProgrammerError(void) {
    DbgPrint("%s %d: aborting processing due to PROGRAMMER ERROR\n", "debug", 17);
}
