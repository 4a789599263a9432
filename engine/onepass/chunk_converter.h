// The conversion of one chunk in one pass over 8-bit text: root tag, prolog
// stripping, flattening, markup deletion, escaping and the JSON writer fused,
// the flattened text never built. Its bytes are those of SetMainXMLTag,
// StripXmlProlog, ReplaceXML and StringToJSON followed by the ANSI writer;
// where those would report anything the chunk is declined and the caller
// converts it with them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/onepass/narrow_text.h"
#include "engine/onepass/output_bytes.h"
#include "engine/text.h"

namespace mv::engine::onepass {

// The root tag to strip every chunk of a file with, once its first chunk has
// given it.
struct FileRoot {
    std::string tag;
    std::size_t offset = 0;  // where the tag stands in its chunk
    bool foreign = false;    // the tag held characters outside the code page
};

// The root tag as the reference SetMainXMLTag gave it.
FileRoot fileRootOf(std::u16string_view tag);

struct ChunkJob {
    const NarrowText* text = nullptr;
    const FileRoot* fileRoot = nullptr;  // null: strip with the chunk's own root tag
    Flag16 skipHead = kNo;
    Flag16 skipTail = kNo;
    bool declarationMissing = false;  // write the note instead of "null"
};

// What became of a chunk.
enum class ChunkOutcome {
    Declined,  // `out` as it was: the reference procedures convert the chunk
    Records,   // its records were appended
    Empty,     // it flattened to nothing: the declaration answer decided its text
};

// Appends the chunk's result to `out` unless it is declined; sets *ownRoot to
// the chunk's root tag when asked and the chunk is not declined.
ChunkOutcome convertChunk(const ChunkJob& job, OutputBytes& out, FileRoot* ownRoot = nullptr);

// The root tag that SetMainXMLTag finds, or nothing when it would report.
std::optional<FileRoot> rootTagOf(const NarrowText& text);

}  // namespace mv::engine::onepass
