#include "clsVolume.h"

clsVolume::clsVolume(MixerService& mixer, WaveInService& waveIn, Notifier& notifier, Clock clock)
    : mixer_(mixer), waveIn_(waveIn), notifier_(notifier), clock_(std::move(clock)) {}

clsVolume::~clsVolume() = default;
