// Volume, pan and frequency conversions (see SoundLevels.h).
#include "sound/SoundLevels.h"

#include <cmath>

namespace korrin {

namespace {

// ceil(4000 x (1 - ln(level) / ln 100)) for level 1..100, in single precision
// throughout: every step is stored as a 32-bit float, so that the x87 unit's
// wider registers give the same hundredths as any other processor.
int Attenuation(int level) {
    volatile float logLevel = std::log(static_cast<float>(level));
    volatile float logHundred = std::log(100.0f);
    volatile float ratio = logLevel / logHundred;
    volatile float product = 4000.0f * (1.0f - ratio);
    return static_cast<int>(std::ceil(static_cast<float>(product)));
}

}  // namespace

int VolumeToDirectSound(int volume) {
    if (volume <= 0) return -10000;
    if (volume > 100) volume = 100;
    return -Attenuation(volume);
}

int PanToDirectSound(int pan) {
    if (pan >= 100) return 10000;
    if (pan <= -100) return -10000;
    if (pan > 0) return Attenuation(100 - pan);
    return -Attenuation(100 + pan);
}

int ClampFrequency(int frequency) {
    if (frequency < 1000) return 1000;
    if (frequency > 100000) return 100000;
    return frequency;
}

}  // namespace korrin
