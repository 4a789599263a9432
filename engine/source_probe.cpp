#include "engine/source_probe.h"

#include <cstring>

#include "engine/native_text.h"

namespace mv::engine {

namespace {

// The two marks as UTF-16 units, compared with letter case ignored.
constexpr std::string_view kMarkStart = "encoding=\"utf-";
constexpr std::size_t kMarkUnits = 17;
constexpr std::size_t kMarkBytes = 2 * kMarkUnits;

char lowerAscii(std::uint8_t c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
}

// Whether the 34 bytes at q are encoding="utf-16" or encoding="utf-32" in
// little-endian units.
bool isMark(const std::uint8_t* q) {
    char text[kMarkUnits];
    for (std::size_t k = 0; k < kMarkUnits; ++k) {
        if (q[2 * k + 1] != 0) return false;
        text[k] = lowerAscii(q[2 * k]);
    }
    std::string_view units(text, kMarkUnits);
    return units.substr(0, kMarkStart.size()) == kMarkStart &&
           (units.substr(kMarkStart.size()) == "16\"" || units.substr(kMarkStart.size()) == "32\"");
}

}  // namespace

void Utf16FirstLine::scan(const std::uint8_t* p, std::size_t n, std::uint64_t base,
                          std::size_t marksBefore, bool marksOnly) {
    for (std::size_t i = 0; i < n;) {
        const void* zero = std::memchr(p + i, 0, n - i);
        if (!zero) return;
        const std::size_t o = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - p);
        i = o + 1;
        if ((base + o) % 2 == 0 || o == 0) continue;  // the low byte of a unit
        const std::size_t start = o - 1;
        if (marksOnly && start >= marksBefore) return;
        const std::uint8_t low = p[start];
        if (!marksOnly && (low == '\n' || low == '\r')) {
            m_answer = Answer::No;
            return;
        }
        if ((low == 'e' || low == 'E') && start + kMarkBytes <= n && isMark(p + start)) {
            m_answer = Answer::Yes;
            return;
        }
    }
}

void Utf16FirstLine::feed(std::string_view bytes) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t n = bytes.size();
    if (m_answer == Answer::Open && !m_tail.empty() && n > 0) {
        // Marks that began near the end of the previous piece.
        std::string joint = m_tail;
        joint.append(bytes.substr(0, kMarkBytes));
        scan(reinterpret_cast<const std::uint8_t*>(joint.data()), joint.size(),
             m_offset - m_tail.size(), m_tail.size(), true);
    }
    if (m_answer == Answer::Open) scan(p, n, m_offset, 0, false);
    m_tail.append(bytes.substr(n > kMarkBytes ? n - kMarkBytes : 0));
    if (m_tail.size() > kMarkBytes) m_tail.erase(0, m_tail.size() - kMarkBytes);
    m_offset += n;
}

void Utf16FirstLine::end() {
    if (m_answer == Answer::Open) m_answer = Answer::No;
}

std::optional<Flag16> declarationMissingFrom(std::string_view start, bool whole) {
    // With no line at all the answer is no.
    if (start.empty()) return whole ? std::optional<Flag16>(kNo) : std::nullopt;
    std::size_t lineEnd = start.find_first_of("\r\n");
    std::string_view line = start.substr(0, lineEnd);
    const std::string_view mark = "xml version";
    for (std::size_t i = 0; i + mark.size() <= line.size(); ++i) {
        std::size_t k = 0;
        while (k < mark.size() && lowerAscii(static_cast<std::uint8_t>(line[i + k])) == mark[k])
            ++k;
        if (k == mark.size()) return kNo;
    }
    // Without the mark the UTF-16 reading of the first line decides, and the
    // ANSI line may go on beyond what was read.
    return std::nullopt;
}

std::optional<OneReadSource> OneReadSource::open(std::u16string_view path) {
    OneReadSource source;
    try {
        // Opening checks what GetFile would: a regular file that can be read.
        const std::string native = toNative(path);
        if (native.empty()) return std::nullopt;
        source.m_stream = TextReader::open(native, TextFormat::Ansi);
        source.m_stream.keepBytes();
        source.m_stream.readBytesInto(kChunkChars, source.m_first);
    } catch (...) {
        return std::nullopt;
    }
    source.m_atEnd = source.m_first.size() < kChunkChars;
    source.m_firstPending = !source.m_first.empty();
    source.m_declarationMissing = declarationMissingFrom(source.m_first, source.m_atEnd);
    source.m_line.feed(source.m_first);
    if (source.m_atEnd) source.m_line.end();
    return source;
}

bool OneReadSource::next(SourceChunk& chunk) {
    chunk.utf16 = false;
    chunk.wide.clear();
    if (declaresUtf16() || m_failed) return false;
    if (m_firstPending) {
        chunk.bytes.swap(m_first);
        m_firstPending = false;
        return true;
    }
    if (m_atEnd) return false;
    try {
        m_stream.readBytesInto(kChunkChars, chunk.bytes);
    } catch (...) {
        m_failed = true;
        return false;
    }
    if (chunk.bytes.size() < kChunkChars) m_atEnd = true;
    m_line.feed(chunk.bytes);
    if (m_atEnd) m_line.end();
    return !chunk.bytes.empty() && !declaresUtf16();
}

std::int64_t OneReadSource::expectedChunks() const {
    const auto size = static_cast<std::int64_t>(kChunkChars);
    return (m_stream.totalChars() + size - 1) / size;
}

}  // namespace mv::engine
