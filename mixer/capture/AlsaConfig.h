#pragma once
// ALSA keeps one global configuration per process and reads it once. Debian routes "default" to
// the sound server only if the server answered when the configuration was read, so every opening
// of "default" drops the cached configuration first. Dropping it while another thread opens a
// device would pull the configuration from under that thread, so all of it goes through here.
//
//   auto lock = AlsaConfig::reload();   // held while the device is opened
//   snd_pcm_open(...);

#include <mutex>

class AlsaConfig {
public:
    // Frees the cached configuration (the next open reads it again) and returns the lock that
    // keeps other threads from freeing or reading it until the caller's open is done.
    static std::unique_lock<std::mutex> reload();
};
