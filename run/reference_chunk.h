// One chunk through the reference procedures, step by step: root tag, prolog,
// flattening, JSON writer and the write. The one-pass converter gives the same
// bytes where these would report nothing; the chunks it declines come here.
#pragma once

#include <string>
#include <string_view>

#include "engine/text.h"
#include "engine/text_writer.h"
#include "report/error_report.h"
#include "report/step_runner.h"

namespace mv::run {

struct ReferenceChunk {
    std::u16string rootTag;  // the chunk's own root tag
    bool empty = false;      // it flattened to nothing: the declaration answer decided its text
};

// Steps 166 to 178. Without a file root tag (the first chunk) the chunk strips
// its prolog with its own root tag.
ReferenceChunk convertChunkByReference(report::StepRunner& step, std::u16string_view chunk,
                                       const std::u16string* fileRootTag,
                                       engine::Flag16 declarationMissing,
                                       engine::TextWriter& output, report::ErrorReport& report);

}  // namespace mv::run
