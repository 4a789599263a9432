// Converts one chunk both ways, with the one-pass converter and with the
// reference procedures as the run chains them, and says how they differ. Shared
// by the engine tests and the equality fuzzer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/codepage.h"
#include "engine/flatten.h"
#include "engine/json_writer.h"
#include "engine/onepass/chunk_converter.h"
#include "engine/prolog.h"
#include "engine/result_note.h"
#include "report/error_report.h"

namespace mv::test {

struct ChunkCase {
    std::u16string chunk;
    bool utf16 = false;                      // narrowed from 16-bit text rather than read as bytes
    std::optional<std::u16string> fileRoot;  // strip with this root instead of the chunk's own
    engine::Flag16 skipHead = engine::kNo;
    engine::Flag16 skipTail = engine::kNo;
    bool declarationMissing = false;
};

struct ChunkOutcome {
    std::string bytes;
    std::size_t reports = 0;
    std::u16string ownRoot;
};

// The chain of the conversion run for one chunk, its reports counted.
inline ChunkOutcome referenceChunk(const ChunkCase& c) {
    report::RecordingReport report;
    ChunkOutcome out;
    out.ownRoot = engine::SetMainXMLTag(c.chunk, report);
    const std::u16string& root = c.fileRoot ? *c.fileRoot : out.ownRoot;
    std::u16string flattened;
    try {
        flattened = engine::ReplaceXML(
            engine::StripXmlProlog(c.chunk, root, c.skipHead, c.skipTail), report);
    } catch (...) {
        out.reports += 1;  // the run reports it under its own step
        flattened = engine::ReplaceXML(c.chunk, report);
    }
    std::u16string json = engine::StringToJSON(flattened, report);
    if (json == u"null" && c.declarationMissing) json = engine::kNotValidXml16;
    engine::encodeAnsi(json, out.bytes);
    out.reports += report.size();
    return out;
}

// Empty when the one-pass converter agrees with the reference (or declines a
// chunk that the reference reports on); otherwise what differs. Sets
// *accepted to whether the one-pass converter took the chunk.
inline std::string chunkDifference(const ChunkCase& c, bool* accepted = nullptr) {
    engine::onepass::NarrowText text;
    if (c.utf16) {
        text = engine::onepass::narrow(c.chunk);
    } else {
        std::string bytes;
        engine::encodeAnsi(c.chunk, bytes);
        text = engine::onepass::narrow(std::move(bytes));
    }
    std::optional<engine::onepass::FileRoot> fileRoot;
    if (c.fileRoot) fileRoot = engine::onepass::fileRootOf(*c.fileRoot);
    engine::onepass::ChunkJob job{&text, fileRoot ? &*fileRoot : nullptr, c.skipHead, c.skipTail,
                                  c.declarationMissing};
    engine::onepass::OutputBytes out;
    out.append("prefix");
    engine::onepass::FileRoot ownRoot;
    const engine::onepass::ChunkOutcome outcome = engine::onepass::convertChunk(job, out, &ownRoot);
    const bool took = outcome != engine::onepass::ChunkOutcome::Declined;
    if (accepted) *accepted = took;
    const ChunkOutcome ref = referenceChunk(c);
    if (!took) {
        if (out.view() != "prefix") return "declined, yet changed the output";
        return {};
    }
    if (ref.reports != 0) return "took a chunk that the reference reports on";
    if (out.view().substr(6) != ref.bytes) {
        return "bytes differ:\n fast: " + std::string(out.view().substr(6)) +
               "\n  ref: " + ref.bytes;
    }
    if (ownRoot.tag != engine::onepass::fileRootOf(ref.ownRoot).tag) return "root tags differ";
    const bool refEmpty = ref.bytes == "null" || ref.bytes == engine::kNotValidXml;
    if ((outcome == engine::onepass::ChunkOutcome::Empty) != refEmpty) {
        return "says the chunk flattened to nothing where the reference does not, or the reverse";
    }
    return {};
}

}  // namespace mv::test
