// What the window asks of the playback engine: its commands, and the few questions the window's own
// drawing needs answered (the alarm band, the unit of a video position). The engine adapter implements
// it over the Player; tests drive the window through a scripted one.
#ifndef REELDECK_GUI_PLAYER_CONTROL_H
#define REELDECK_GUI_PLAYER_CONTROL_H

#include <cstdint>
#include <string>

#include "gui/picture_view.h"

namespace reeldeck::gui {

class PlayerControl {
  public:
    virtual ~PlayerControl() = default;

    // A recording or a still picture. True on success; on failure the engine has reported (except for a
    // still, which the window reports as unreadable).
    virtual bool Open(const std::string& path) = 0;
    virtual void Stop() = 0;
    virtual void Play() = 0;
    virtual void TogglePause() = 0;
    virtual void Rewind() = 0;
    virtual void Seek(int unit, bool paused) = 0;
    virtual void Capture() = 0;

    // The process-wide audio settings: volume 0..65535 on both channels, sound on or off.
    virtual void SetVolume(uint16_t volume) = 0;
    virtual void SetSound(bool on) = 0;

    // On the showing thread, once per picture: the alarm to draw (expired alarms are cleared here).
    virtual AlarmBand ActiveAlarm() = 0;
    // On a decoder thread: the unit that holds this byte of the series' video.
    virtual int UnitForPosition(int64_t videoPosition) = 0;
};

}  // namespace reeldeck::gui

#endif
