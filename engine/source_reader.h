// Reading a source file: the first-line tests and the chunked full reading.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_system.h"
#include "engine/text.h"
#include "report/error_report.h"
#include "report/step_runner.h"

namespace mv::engine {

inline constexpr std::size_t kChunkChars = 65536;
using ChunkList = std::vector<std::u16string>;

// With checkEncoding set: yes when the first line read as UTF-16 holds
// encoding="utf-16" or encoding="utf-32". With checkDeclaration set: yes when
// neither the ANSI nor the UTF-16 reading of the first line holds "xml version".
Flag16 CheckFirsrStringFSO(std::u16string_view path, Flag16 checkEncoding, Flag16 checkDeclaration,
                           report::ErrorReport& report);

// The whole file as chunks of kChunkChars characters (the last one shorter),
// none for an empty or unreadable file. Holds the whole file in memory; the
// conversion run streams through ChunkReader instead.
ChunkList ReadFileToStringFSO(std::u16string_view path, report::ErrorReport& report);

// A chunk as read: the bytes of an ANSI reading, one per character, or the
// characters of a UTF-16 reading.
struct SourceChunk {
    bool utf16 = false;
    std::string bytes;
    std::u16string wide;
    // The chunk's characters, as the reader of whole texts gives them.
    std::u16string text() const;
};

// The same reading, one chunk at a time, with the same steps and reports.
class ChunkReader {
public:
    ChunkReader(std::u16string_view path, report::ErrorReport& report);
    // The next chunk into `chunk`; false at the end.
    bool next(std::u16string& chunk);
    // The same, an ANSI chunk left as bytes. Use one of the two per reader.
    bool next(SourceChunk& chunk);
    void close();
    // How many chunks the file holds, from its size when it was opened.
    std::int64_t expectedChunks() const;
    // Whether the file could be opened for the reading.
    bool opened() const { return m_opened; }
    // Whether an opened file was not read whole: a read failed on the way,
    // or the file changed while it was read (known once it is closed).
    bool incomplete() const { return m_stuck || m_changed; }

private:
    report::StepRunner m_step;
    TextReader m_stream;
    bool m_opened = false;
    bool m_stuck = false;
    bool m_changed = false;
    bool m_utf16 = false;
};

}  // namespace mv::engine
