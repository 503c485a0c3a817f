#include "Sound.h"

// The player starts the sound and returns at once, whatever the flags ask: the program only
// ever plays asynchronously. A file that cannot be played gives the desktop's default sound.
int32_t Sound::sndPlaySoundA(const std::string& lpszSoundName, uint32_t uFlags) {
    (void)uFlags;
    player_.playAsync(lpszSoundName);
    return 1;
}
