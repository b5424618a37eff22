// The panel's button pictures, drawn at run time so that they follow the panel colours and the screen's
// pixel ratio: 38 x 31 logical pixels, a normal and a pressed look (for Record the pressed look, its
// checked state, shows the recording light).
#ifndef OCUVIEW_WIDGET_PANEL_ICONS_H
#define OCUVIEW_WIDGET_PANEL_ICONS_H

#include <QColor>
#include <QIcon>

namespace ocuview {

enum class PanelIcon { Zoom, ZoomOff, Capture, Trigger, Transmission, Mute, Unmute, Record };

// `fore` draws the symbol, `back` fills the button face.
[[nodiscard]] QIcon MakePanelIcon(PanelIcon icon, QColor fore, QColor back, qreal pixelRatio);

}  // namespace ocuview

#endif
