// Readers of source text: they open only regular files, since a FIFO, socket
// or device would block or never end, so opening one fails at once; a reader
// that reaches the end tells, when it is closed, whether the file changed
// while it was read. Failures are thrown as report::Failure with the path in
// their description.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "engine/read_ahead.h"

namespace mv::engine {

enum class TextFormat : int { Ansi = 0, Utf16 = -1 };

class TextReader {
public:
    TextReader() = default;
    TextReader(TextReader&& other) noexcept;
    TextReader& operator=(TextReader&& other) noexcept;
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // Throws when the path is missing, unreadable or not a regular file.
    static TextReader open(const std::string& nativePath, TextFormat format);

    bool isOpen() const { return m_fd >= 0; }
    // The members below throw the "object not set" failure on a closed reader.
    bool AtEndOfStream();
    // Up to `count` more characters into `out`, fewer only at the end.
    void readInto(std::size_t count, std::u16string& out);
    // From now on an ANSI reading hands out its bytes as they are in the
    // file, one per character, never widened; call before the first test.
    void keepBytes();
    // The next `count` bytes of a reading that keeps its bytes.
    void readBytesInto(std::size_t count, std::string& out);
    // Consumes one line (ending at LF, CR or CR LF, the break not included)
    // and tells which marks it contains, ignoring letter case: bit i for
    // marks[i]. The line itself is never held whole, however long it is.
    // Reading stops early, the rest of the line unread, once `settled` says
    // that the marks found so far decide the caller's answer.
    unsigned readLineFinding(std::span<const std::u16string_view> marks,
                             const std::function<bool(unsigned)>& settled = {});
    // Closes the stream. After a reading to the end, throws the "file
    // changed" failure when the file's size or modification time is not what
    // it was at the opening, or the bytes read do not match that size.
    void Close();
    // Characters in the file, from its size when it was opened.
    std::int64_t totalChars() const { return m_totalChars; }
    // Whether this reading has handed its blocks to a thread reading ahead.
    bool readAheadStarted() const { return m_aheadStarted; }

private:
    bool fill();
    bool fillFromCache(std::size_t want);
    bool fillGathered(std::size_t want);
    void startReadAhead(std::size_t want);
    [[noreturn]] void failRead(int error);
    void requireOpen() const;
    bool changedSinceOpen() const;
    void closeDescriptor();
    std::size_t buffered() const { return m_rawBytes ? m_bytes.size() : m_text.size(); }

    int m_fd = -1;
    TextFormat m_format = TextFormat::Ansi;
    std::string m_path;
    std::u16string m_text;  // decoded characters not yet handed out start at m_pos
    std::size_t m_pos = 0;
    std::string m_bytes;
    int m_carry = -1;  // odd byte of a UTF-16 reading waiting for its partner
    std::int64_t m_totalChars = 0;
    std::int64_t m_openSize = 0;
    std::uint64_t m_device = 0;
    timespec m_openTime{};
    std::int64_t m_offset = 0;  // bytes consumed from the start of the file
    bool m_rawBytes = false;    // hands out m_bytes instead of decoding them
    bool m_ended = false;       // a read has returned nothing
    // A large byte reading on disk reads its blocks itself while they are in
    // the page cache, and from the first that is not, on a thread of its own
    // to the end; decided once, and given up after a failed read.
    std::unique_ptr<BlockReadAhead> m_ahead;
    bool m_aheadTried = false;
    bool m_fromCache = false;
    bool m_aheadStarted = false;
    // A large byte reading that nothing reads ahead for takes several blocks
    // a call; those not handed out yet wait here, in order.
    static constexpr std::size_t kGathered = 4;
    struct Gathered {
        bool on = false;
        std::array<std::string, kGathered> blocks;
        std::array<BlockRead, kGathered> reads;
        std::size_t next = 0;
        std::size_t count = 0;
    };
    Gathered m_gathered;
};

}  // namespace mv::engine
