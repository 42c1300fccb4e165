#include "platform/Sounds.h"

#include <QThreadPool>

#include <alsa/asoundlib.h>
#include <canberra.h>

namespace {

// ALSA reports a missing sound card on standard error from inside libcanberra's backend;
// a machine without sound is normal and should stay quiet.
void quietAlsa(const char *, int, const char *, int, const char *, ...) {}

const char *eventId(SystemSound sound)
{
    switch (sound) {
    case SystemSound::glass:
        return "complete";
    case SystemSound::basso:
        return "dialog-error";
    }
    return "complete";
}

class CanberraSoundPlayer final : public SoundPlayer
{
public:
    CanberraSoundPlayer() { m_worker.setMaxThreadCount(1); }

    ~CanberraSoundPlayer() override
    {
        m_worker.waitForDone();
        if (m_context)
            ca_context_destroy(m_context);
    }

    void play(SystemSound sound) override
    {
        // Opening the context connects to the sound server, which can take a moment:
        // keep it off the caller's (GUI) thread. One worker thread owns the context.
        m_worker.start([this, sound] {
            if (!m_context && !m_failed) {
                snd_lib_error_set_handler(quietAlsa);
                m_failed = ca_context_create(&m_context) != CA_SUCCESS;
                if (!m_failed)
                    ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Lumisort",
                                            CA_PROP_CANBERRA_XDG_THEME_NAME, "freedesktop",
                                            nullptr);
            }
            if (m_context)
                ca_context_play(m_context, 0, CA_PROP_EVENT_ID, eventId(sound), nullptr);
        });
    }

private:
    QThreadPool m_worker;
    ca_context *m_context = nullptr; // touched by the worker thread only
    bool m_failed = false;
};

} // namespace

std::unique_ptr<SoundPlayer> makeDesktopSoundPlayer()
{
    return std::make_unique<CanberraSoundPlayer>();
}
