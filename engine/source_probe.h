// Reading a source once: the two first-line questions answered from the bytes
// as they are read for the conversion, instead of opening the file again for
// each. Whatever cannot be answered this way is left to the reference readers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/file_system.h"
#include "engine/source_reader.h"
#include "engine/text.h"

namespace mv::engine {

// Follows the first line of a file read as UTF-16, over the file's bytes as
// they come, and tells whether it holds encoding="utf-16" or
// encoding="utf-32". Such a unit needs a zero high byte, which ANSI text
// almost never has, so the bytes are only looked at around zero bytes.
class Utf16FirstLine {
public:
    enum class Answer { Open, No, Yes };
    // The file's next bytes, from its first on; every piece but the last of
    // an even length.
    void feed(std::string_view bytes);
    // The end of the file: a mark not complete by now is none.
    void end();
    Answer answer() const { return m_answer; }

private:
    void scan(const std::uint8_t* p, std::size_t n, std::uint64_t base, std::size_t from,
              bool marksOnly);

    Answer m_answer = Answer::Open;
    std::uint64_t m_offset = 0;  // of the next byte fed
    std::string m_tail;          // the last bytes fed, for a mark across pieces
};

// The declaration question from the start of a file: yes when the first line
// read as ANSI text lacks "xml version", no when it has it, nothing when the
// UTF-16 reading would have to be asked too or the line does not end in
// `start` (which holds the file's first bytes, all of them when `whole`).
std::optional<Flag16> declarationMissingFrom(std::string_view start, bool whole);

// A source read once as ANSI chunks while its first line read as UTF-16 is
// followed. When that line turns out to declare UTF-16 the reading stops, and
// the caller converts the file again with the reference readers.
class OneReadSource {
public:
    // Nothing when the file cannot be opened or its first bytes read: the
    // reference readers then report why.
    static std::optional<OneReadSource> open(std::u16string_view path);

    // From the first chunk, when the first chunk settles it.
    std::optional<Flag16> declarationMissing() const { return m_declarationMissing; }
    // Whether the UTF-16 reading of the first line declared UTF-16 so far.
    bool declaresUtf16() const { return m_line.answer() == Utf16FirstLine::Answer::Yes; }

    // The next chunk as ANSI bytes; false at the end, on a read failure and
    // once the file declares UTF-16 (failed() and declaresUtf16() tell).
    bool next(SourceChunk& chunk);
    bool failed() const { return m_failed; }
    std::int64_t expectedChunks() const;

private:
    TextReader m_stream;
    Utf16FirstLine m_line;
    std::string m_first;  // the first chunk, until it is handed out
    std::optional<Flag16> m_declarationMissing;
    bool m_firstPending = false;
    bool m_atEnd = false;
    bool m_failed = false;
};

}  // namespace mv::engine
