#include "AlsaConfig.h"

#include <alsa/asoundlib.h>

std::unique_lock<std::mutex> AlsaConfig::reload() {
    static std::mutex mutex;
    std::unique_lock<std::mutex> lock(mutex);
    snd_config_update_free_global();
    return lock;
}
