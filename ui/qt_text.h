// The one crossing between Qt's text and the 16-bit text of the engine and
// the run. Both hold UTF-16 code units, so the crossing is exact.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace mv::ui {

inline QString toQString(std::u16string_view text) {
    return QString::fromStdU16String(std::u16string(text));
}

inline std::u16string toU16(const QString& text) {
    return text.toStdU16String();
}

}  // namespace mv::ui
