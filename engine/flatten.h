// Flattening: XML text becomes records of key, "~", value, "|".
#pragma once

#include <string>
#include <string_view>

#include "report/error_report.h"

namespace mv::engine {

// Walks the text forward: each "<...>" gives a key, the text after it up to
// the next "</" its value, and the ">" of that end tag closes the record.
// Finally every CR, LF, "/", ">" and "<" is deleted from the whole result.
// Nothing is escaped or decoded.
std::u16string ReplaceXML(std::u16string_view text, report::ErrorReport& report);

}  // namespace mv::engine
