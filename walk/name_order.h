// The order in which a file manager lists names: letter case ignored and runs
// of digits compared by their value ("f2" before "f10"); names equal by that
// rule are ordered by their characters, so the order is total and the same on
// every machine whatever its locale.
#pragma once

#include <string_view>

namespace mv::walk {

bool NameLess(std::u16string_view a, std::u16string_view b);

}  // namespace mv::walk
