// The size a control needs for a view mode and a view size, as `PrmCalcModuleWidth` / `Height` answer it.
#ifndef OCUVIEW_CONTROL_MODULE_SIZE_H
#define OCUVIEW_CONTROL_MODULE_SIZE_H

#include <string>
#include <string_view>

namespace ocuview {

// Decimal pixels, or empty text for an unknown "PRM_VIEWMODE_" or "PRM_VIEWSIZE_" keyword.
[[nodiscard]] std::string CalcModuleWidth(std::string_view viewMode, std::string_view viewSize);
[[nodiscard]] std::string CalcModuleHeight(std::string_view viewMode, std::string_view viewSize);

}  // namespace ocuview

#endif
