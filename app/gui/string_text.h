// The string table's texts as Qt strings, for the window's titles, tooltips and labels.
#ifndef REELDECK_GUI_STRING_TEXT_H
#define REELDECK_GUI_STRING_TEXT_H

#include <QString>
#include <string_view>

#include "core/string_table.h"

namespace reeldeck::gui {

inline QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// String `number` of the string table ("" for a number it does not hold).
inline QString StringText(int number) {
    return FromUtf8(LoadText(number));
}

}  // namespace reeldeck::gui

#endif
