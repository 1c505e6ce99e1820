// Frame pacing arithmetic.
#include "screen/Pacing.h"

#include <gtest/gtest.h>
