// The JSON writer: flattened records become one small object per line inside
// an outer pair of braces. The shape is fixed, not validated JSON: keys are
// written as they are, values escaped by their ANSI code.
#pragma once

#include <string>
#include <string_view>

#include "report/error_report.h"

namespace mv::engine {

// " { " CR LF, one "{...}" per row between "|", separated by "," CR LF, then
// CR LF " } ". A row's fields (cut at "~") pair up as "key":"value"; an odd
// last field is dropped. Exactly "null" for an empty input.
std::u16string StringToJSON(std::u16string_view flattened, report::ErrorReport& report);

// Escapes a value character by character, by its code in the ANSI code page.
std::u16string EscapeJsonText(std::u16string_view text);

}  // namespace mv::engine
