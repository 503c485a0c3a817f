#pragma once
// ALSA prints its own error lines ("cannot find card", the pulse plugin's "connection refused")
// on every attempt where no card or server is there; Brennet reports such changes itself, so
// the engine and the capture both turn ALSA's lines off.

#include <alsa/asoundlib.h>

inline void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

inline void silenceAlsaErrors() {
    snd_lib_error_set_handler(&ignoreAlsaError);
}
