// Compile-time checks that a record of the library lies in memory exactly as
// the public header (include/korrin.h) declares it to hosts.
#pragma once

#include <cstddef>

#include "korrin.h"

// Field `field` of `ours` has the offset and size of the same field of `theirs`.
#define KORRIN_SAME_FIELD(ours, theirs, field)                            \
    (offsetof(ours, field) == offsetof(theirs, field) &&                  \
     sizeof(static_cast<ours*>(nullptr)->field) == sizeof(static_cast<theirs*>(nullptr)->field))
