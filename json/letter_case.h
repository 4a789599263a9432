// Letter case for the script evaluator's command names, comparisons and
// placeholder tags: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
// Other characters are left as they are, so the result has the same length.
#pragma once

#include <string>
#include <string_view>

namespace mv::json {

std::u16string lowerCase(std::u16string_view text);
std::u16string upperCase(std::u16string_view text);

}  // namespace mv::json
