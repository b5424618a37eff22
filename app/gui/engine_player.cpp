#include "gui/engine_player.h"

#include "player/player.h"

namespace reeldeck::gui {

namespace {

class EnginePlayer final : public PlayerControl {
  public:
    EnginePlayer(PlayerHost& host, NotificationQueue& posted) : player_(host, posted) {}

    bool Open(const std::string& path) override { return player_.Open(path) == 1; }
    void Stop() override { player_.Stop(); }
    void Play() override { player_.Play(); }
    void TogglePause() override { player_.TogglePause(); }
    void Rewind() override { player_.Rewind(); }
    void Seek(int unit, bool paused) override { player_.Seek(unit, paused ? 1 : 0); }
    void Capture() override { player_.Capture(); }
    void SetVolume(uint16_t volume) override { player_.SetVolume(volume); }
    void SetSound(bool on) override { player_.SetSound(on); }
    AlarmBand ActiveAlarm() override {
        // The sensor input takes precedence; each query also expires its alarm.
        if (player_.SensorAlarmActive()) return AlarmBand::kSensorInput;
        if (player_.MotionAlarmActive()) return AlarmBand::kMotionDetection;
        return AlarmBand::kNone;
    }
    int UnitForPosition(int64_t videoPosition) override {
        return player_.Files().UnitForVideoPosition(videoPosition);
    }

  private:
    Player player_;
};

}  // namespace

std::unique_ptr<PlayerControl> MakeEnginePlayer(PlayerHost& host, NotificationQueue& posted) {
    return std::make_unique<EnginePlayer>(host, posted);
}

}  // namespace reeldeck::gui
