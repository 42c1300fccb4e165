#pragma once

#include <memory>

// The two sounds the application plays: a finished task and a stopped one.
enum class SystemSound { glass, basso };

class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    // Starts the sound and returns at once; failures (no sound device) are silent.
    virtual void play(SystemSound sound) = 0;
};

// The desktop's sound theme through libcanberra ("complete", "dialog-error").
std::unique_ptr<SoundPlayer> makeDesktopSoundPlayer();
