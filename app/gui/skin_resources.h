// The skin (button strips, the tiny label font, the icon) is compiled into reeldeck_gui as Qt resources
// under ":/skin/". A static library's resources must be registered once before the first use.
#ifndef REELDECK_GUI_SKIN_RESOURCES_H
#define REELDECK_GUI_SKIN_RESOURCES_H

namespace reeldeck::gui {

void InitSkinResources();

}  // namespace reeldeck::gui

#endif
