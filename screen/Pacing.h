// Frame pacing arithmetic, portable and clock-agnostic.
#pragma once
