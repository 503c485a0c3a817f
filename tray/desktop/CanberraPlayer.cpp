#include "CanberraPlayer.h"

#include <canberra.h>

namespace {

// Every click plays under the same id, so a new one can cut off the one still playing.
constexpr uint32_t kClickId = 1;

}  // namespace

CanberraPlayer::CanberraPlayer() {
    // The context connects to the sound server on the first sound, not here: start-up stays fast
    // and a program that never clicks never connects.
    if (ca_context_create(&context_) != CA_SUCCESS) {
        context_ = nullptr;
        return;
    }
    ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Brennet", CA_PROP_APPLICATION_ID,
                            "brennet", nullptr);
}

CanberraPlayer::~CanberraPlayer() {
    if (context_) {
        ca_context_destroy(context_);
    }
}

void CanberraPlayer::playAsync(const std::string& path) {
    if (!context_) {
        return;
    }
    ca_context_cancel(context_, kClickId);
    const int result = ca_context_play(context_, kClickId, CA_PROP_MEDIA_FILENAME, path.c_str(),
                                       CA_PROP_EVENT_DESCRIPTION, "Volume changed",
                                       CA_PROP_CANBERRA_CACHE_CONTROL, "never", nullptr);
    if (result == CA_SUCCESS || result == CA_ERROR_DISABLED) {
        return;  // playing, or the user turned event sounds off
    }
    // Missing, unreadable or not a sound: the desktop's default sound instead.
    ca_context_play(context_, kClickId, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION,
                    "Volume changed", nullptr);
}
