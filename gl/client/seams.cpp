// The client driver's parts that are not built yet: each says so on the
// debugger and answers failure or does nothing. (None is left.)
#include "clt.h"
