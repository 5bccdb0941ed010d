// The state-block attribute each vertex-format bit leaves current. The
// values of a batch's last vertex become the current ones when the batch
// has run (prims/exec.cpp), and the write-back stage makes each vertex's
// values current as its change mask asks.
#include "pipes.h"

// The facet plane belongs to its face: a primitive leaves no current value of it.
ULONG _NAttrOfBit(ULONG bit) { return (bit >= 5 && bit <= 26 && bit != 9) ? N_VTX_BIT_ATTR[bit] : 0; }
