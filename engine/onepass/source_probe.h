// Reading a source once: the two first-line questions answered from the bytes
// as they are read for the conversion, instead of opening the file again for
// each. Whatever cannot be answered this way is left to the reference readers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_system.h"
#include "engine/source_reader.h"
#include "engine/text.h"

namespace mv::engine::onepass {

// Follows the first line of a file read as UTF-16 over the file's bytes as
// they come, and tells which marks (ASCII, letter case ignored) it holds. A
// unit of such a mark, or a line end, needs a zero high byte, which ANSI text
// almost never has, so the bytes are only looked at around zero bytes.
class Utf16FirstLine {
public:
    explicit Utf16FirstLine(std::vector<std::string_view> marks);
    // The file's next bytes, from its first on; every piece but the last of
    // an even length.
    void feed(std::string_view bytes);
    // The end of the file.
    void end();
    // Bit i for marks[i], among the units before the line end seen so far.
    unsigned found() const { return m_found; }
    // Whether the line end, or the end of the file, has been seen.
    bool ended() const { return m_ended; }
    // Whether the reading finds a line at all: a unit after the byte-order mark.
    bool hasLine() const;

private:
    void scan(const std::uint8_t* p, std::size_t n, std::uint64_t base, std::size_t marksBefore,
              bool marksOnly);
    bool markAt(const std::uint8_t* q, std::size_t avail, std::size_t mark) const;

    std::vector<std::string_view> m_marks;
    std::size_t m_longest = 0;  // bytes of the longest mark
    unsigned m_found = 0;
    bool m_ended = false;
    std::uint64_t m_offset = 0;  // of the next byte fed
    bool m_bom = false;
    std::string m_tail;  // the last bytes fed, for a mark across pieces
};

// Follows the first line of a file read as ANSI text and tells whether it
// holds "xml version".
class AnsiFirstLine {
public:
    void feed(std::string_view bytes);
    void end() { m_ended = true; }
    bool found() const { return m_found; }
    bool ended() const { return m_ended || m_found; }
    bool hasLine() const { return m_any; }

private:
    bool m_found = false;
    bool m_ended = false;
    bool m_any = false;
    std::string m_tail;
};

// A source read once as ANSI chunks while its first line, read both ways, is
// followed. When that line turns out to declare UTF-16, or the declaration
// answer the chunks were converted with turns out wrong where it mattered, the
// caller converts the file again with the reference readers.
class OneReadSource {
public:
    // Nothing when the file cannot be opened or its first bytes read: the
    // reference readers then report why.
    static std::optional<OneReadSource> open(std::u16string_view path);

    // The declaration answer once the lines read so far settle it.
    std::optional<Flag16> declarationMissing() const;
    // The answer to convert with before it is settled: settled, or yes.
    Flag16 declarationGuess() const { return declarationMissing().value_or(kYes); }
    // Whether the UTF-16 reading of the first line declared UTF-16 so far.
    bool declaresUtf16() const { return (m_utf16.found() & kEncodingMarks) != 0; }

    // The next chunk as ANSI bytes; false at the end, on a read failure and
    // once the file declares UTF-16 (failed() and declaresUtf16() tell).
    bool next(SourceChunk& chunk);
    bool failed() const { return m_failed; }
    // Closes the file; throws the "file changed" failure when it changed
    // while it was read to its end.
    void close();
    std::int64_t expectedChunks() const;

private:
    static constexpr unsigned kDeclarationMark = 1;
    static constexpr unsigned kEncodingMarks = 6;

    OneReadSource();
    void feed(std::string_view bytes);

    TextReader m_stream;
    AnsiFirstLine m_ansi;
    Utf16FirstLine m_utf16;
    std::string m_first;  // the first chunk, until it is handed out
    bool m_firstPending = false;
    bool m_atEnd = false;
    bool m_failed = false;
};

}  // namespace mv::engine::onepass
