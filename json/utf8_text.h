// Scripts come in and go out as UTF-8. A byte that is not part of UTF-8 reads
// as U+FFFD, and a surrogate without its partner (a \u escape can make one) is
// written as U+FFFD, so what goes out is always well-formed UTF-8 and no
// character is ever made of halves that came from different places.
#pragma once

#include <string>
#include <string_view>

namespace mv::json {

std::u16string textFromUtf8(std::string_view bytes);
std::string utf8FromText(std::u16string_view text);

}  // namespace mv::json
