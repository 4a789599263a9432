// The root tag of a chunk, and the prolog and tail cut away before flattening.
#pragma once

#include <string>
#include <string_view>

#include "engine/text.h"
#include "report/error_report.h"

namespace mv::engine {

// The text between "<" and ">" of the first tag after the XML declaration, an
// "<?xml:" instruction and the DOCTYPE, attributes included; empty when the
// chunk holds no complete tag after them.
std::u16string SetMainXMLTag(std::u16string_view chunk, report::ErrorReport& report);

// The chunk without its declaration, "<?xml:" instruction and DOCTYPE (when
// skipHead is 0), without a later start tag "<rootTag " (skipHead 0), and cut
// after the root's end tag "</rootTag>" plus one character (skipTail 0).
// Search positions are not moved when the text is cut, which is why a DOCTYPE
// right after a declaration survives. Throws the invalid-argument failure when
// a search has to start from 0 (a cut mark without a ">" after it).
std::u16string StripXmlProlog(std::u16string_view chunk, std::u16string_view rootTag,
                              Flag16 skipHead, Flag16 skipTail);

}  // namespace mv::engine
