// The window's PlayerControl over the playback engine (Player), which also opens the stills.
#ifndef REELDECK_GUI_ENGINE_PLAYER_H
#define REELDECK_GUI_ENGINE_PLAYER_H

#include <memory>

#include "gui/player_control.h"
#include "player/notification_queue.h"
#include "player/player_host.h"

namespace reeldeck::gui {

std::unique_ptr<PlayerControl> MakeEnginePlayer(PlayerHost& host, NotificationQueue& posted);

}  // namespace reeldeck::gui

#endif
