// The sound commands' scales converted to DirectSound's: volume 0..100 and
// pan -100..100 to hundredths of a decibel, and the playback-rate clamp.
// Portable: no platform headers.
#pragma once

namespace korrin {

// 0 (or less) is silence, -10000; otherwise the attenuation 20 log10(v / 100) dB,
// rounded away from zero to the next hundredth; 100 and above give 0.
int VolumeToDirectSound(int volume);

// Positive pans attenuate the left side by 20 log10((100 - p) / 100) dB (a
// positive result), negative ones the right side (a negative result); 100 and
// above are fully right (10000), -100 and below fully left (-10000).
int PanToDirectSound(int pan);

// Playback rates are held to 1000 .. 100000 samples per second.
int ClampFrequency(int frequency);

}  // namespace korrin
