// The file-system object: the few file operations that the source reader and
// the conversion run need, on POSIX calls, by name. Its readers and writers
// live in text_reader.h and text_writer.h, the rules for links at a result's
// place in link_rules.h. Failures are thrown as report::Failure with the path
// in their description.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/link_rules.h"
#include "engine/text_reader.h"
#include "engine/text_writer.h"

namespace mv::engine {

struct File {
    std::string nativePath;
    TextReader OpenAsTextStream(TextFormat format) const;
};

// The object the reader and the run create by name; it holds nothing.
class FileSystemObject {
public:
    // Throws "file not found" for a missing path or a folder.
    File GetFile(std::u16string_view path) const;
    // Mode 2 (writing), create when missing: the text stream of a result.
    // `seenFree`: nothing stood at the path just before (TextWriter::create).
    TextWriter OpenTextFile(std::u16string_view path, bool seenFree = false) const;
};

// The file of an optional, or the "object not set" failure.
const File& required(const std::optional<File>& file);

}  // namespace mv::engine
