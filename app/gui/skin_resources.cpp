#include "gui/skin_resources.h"

#include <QtCore/qglobal.h>
#include <QtCore/qresource.h>

// Q_INIT_RESOURCE declares a function in the current namespace; it must run at global scope.
static void InitSkinResourcesGlobal() {
    Q_INIT_RESOURCE(skin);
}

namespace reeldeck::gui {

void InitSkinResources() {
    static const bool done = (InitSkinResourcesGlobal(), true);
    (void)done;
}

}  // namespace reeldeck::gui
