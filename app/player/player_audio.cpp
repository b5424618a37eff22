// The audio thread (AudioDecoder): owns the audio module for the whole of a playback.
#include <memory>

#include "core/report.h"
#include "core/string_table.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "player/player.h"
#include "vello/audio/VelloAudio.h"

namespace reeldeck {

namespace {
constexpr uint32_t kDiscardStepMs = 1;
}  // namespace

// The audio queue as the module's packet source. The module takes packets only while the player plays:
// its supplier runs and it is not paused.
class Player::AudioSource final : public vello::AudioPacketSource {
  public:
    explicit AudioSource(Player& player) : p_(player) {}
    int Count() override { return static_cast<int>(p_.audioQueue_.Count()); }
    int Take(uint8_t* out, int capacity) override { return p_.audioQueue_.TakeCopy(out, capacity); }
    bool MayTake() override {
        return p_.events_.IsSet(Event::kSupplierRunning) && !p_.events_.IsSet(Event::kPaused);
    }

  private:
    Player& p_;
};

void Player::AudioThread(Worker& self) {
    AudioSource source(*this);
    vello::AudioHooks hooks;
    hooks.notify = [this](int number) { posted_.Post(PlayerNotification::kError, number); };
    hooks.diagnostic = LogText;
    auto module = std::make_unique<vello::VelloAudio>(vello::kReeldeckAudio, audioType_, &source, hooks);
    if (module->Status() != vello::AudioStatus::kOk) {
        posted_.Post(PlayerNotification::kError, msg::kCannotCreateAudioModule);
        // Nothing waits for a module that will never be: Open and Seek see the thread gone.
        events_.Reset(Event::kAudioRebooting);
        if (!Stopping(self)) posted_.Post(PlayerNotification::kError, msg::kPlaybackCanceled);
        return;
    }
    events_.Set(Event::kAudioReady);
    platform::DebugOutput("----->Start AudioDeoder()\n");
    if (module->StartPlayback() == vello::AudioStatus::kOk) {
        uint16_t volume = volume_.load();
        bool soundOn = soundOn_.load();
        module->SetVolume(volume);
        module->SetSound(soundOn ? 1 : 0);
        events_.Reset(Event::kAudioRebooting);
        // The module feeds itself from the queue; this thread only applies the main window's settings.
        while (!Stopping(self)) {
            events_.WaitUntil(
                [&] { return Stopping(self) || volume_.load() != volume || soundOn_.load() != soundOn; });
            if (volume_.load() != volume) module->SetVolume(volume = volume_.load());
            if (soundOn_.load() != soundOn) module->SetSound((soundOn = soundOn_.load()) ? 1 : 0);
        }
        module->StopPlayback();
    } else {
        // No device: the video still plays, and the audio is discarded as it comes so that the queue
        // never holds the supplier back.
        events_.Reset(Event::kAudioRebooting);
        while (!Stopping(self)) {
            if (source.MayTake()) audioQueue_.Release(audioQueue_.Take());
            platform::SleepMs(kDiscardStepMs);
        }
    }
    events_.Reset(Event::kAudioReady);
    platform::DebugOutput("----->End AudioDeoder()\n");
    if (!Stopping(self)) posted_.Post(PlayerNotification::kError, msg::kPlaybackCanceled);
    module.reset();
}

}  // namespace reeldeck
