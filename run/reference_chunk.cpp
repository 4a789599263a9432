#include "run/reference_chunk.h"

#include "engine/flatten.h"
#include "engine/json_writer.h"
#include "engine/prolog.h"
#include "engine/result_note.h"

namespace mv::run {

ReferenceChunk convertChunkByReference(report::StepRunner& step, std::u16string_view chunk,
                                       const std::u16string* fileRootTag,
                                       engine::Flag16 declarationMissing,
                                       engine::TextWriter& output, report::ErrorReport& report) {
    using engine::kNo;
    using engine::kYes;
    ReferenceChunk result;
    std::u16string flattened, json;
    step(166, [&] { result.rootTag = engine::SetMainXMLTag(chunk, report); });
    // The first chunk's root governs the file. A later chunk starts in the
    // middle of the document, wherever the boundary fell, often on a child's
    // start tag: it keeps its head and loses only what follows that root's
    // end tag, so no record before a stray declaration, DOCTYPE or start
    // tag, and none after a child's end tag, is cut away.
    bool stripped = step(168, [&] {
        flattened = engine::ReplaceXML(
            fileRootTag ? engine::StripXmlProlog(chunk, *fileRootTag, kYes, kNo)
                        : engine::StripXmlProlog(chunk, result.rootTag, kNo, kNo),
            report);
    });
    // A chunk whose prolog cannot be stripped is flattened as it stands,
    // never given another chunk's text.
    if (!stripped) flattened = engine::ReplaceXML(chunk, report);
    step(170, [&] { json = engine::StringToJSON(flattened, report); });
    if (step.test(172, [&] { return json == u"null"; })) {
        result.empty = true;
        if (step.test(174, [&] { return declarationMissing.isYes(); })) {
            step(176, [&] { json = engine::kNotValidXml16; });
        }
    }
    step(178, [&] { output.Write(json); });
    return result;
}

}  // namespace mv::run
