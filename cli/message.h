// The command's own lines on standard error, "marrowvale-cli: " and the text
// escaped for the terminal (a name may be hostile).
#pragma once

#include <string>
#include <string_view>

namespace mv::cli {

void printMessage(const std::string& text);
void printMessage(std::u16string_view text);

}  // namespace mv::cli
