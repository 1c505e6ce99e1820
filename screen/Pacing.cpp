// Frame pacing arithmetic.
#include "screen/Pacing.h"
