// Letter case for the script evaluator's command names, comparisons and
// placeholder tags: the Unicode simple case mappings, one character to one,
// also beyond the basic plane. The result has the length of the text; a lone
// surrogate is left as it is.
#pragma once

#include <string>
#include <string_view>

namespace mv::json {

std::u16string lowerCase(std::u16string_view text);
std::u16string upperCase(std::u16string_view text);

}  // namespace mv::json
