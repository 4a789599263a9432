#include "engine/source_probe.h"

#include <algorithm>
#include <cstring>

#include "engine/native_text.h"

namespace mv::engine {

namespace {

char lowerAscii(std::uint8_t c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
}

constexpr std::string_view kXmlVersion = "xml version";

}  // namespace

Utf16FirstLine::Utf16FirstLine(std::vector<std::string_view> marks) : m_marks(std::move(marks)) {
    for (std::string_view mark : m_marks) m_longest = std::max(m_longest, 2 * mark.size());
}

bool Utf16FirstLine::markAt(const std::uint8_t* q, std::size_t avail, std::size_t mark) const {
    const std::string_view text = m_marks[mark];
    if (2 * text.size() > avail) return false;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (q[2 * k + 1] != 0 || lowerAscii(q[2 * k]) != text[k]) return false;
    }
    return true;
}

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
            m_ended = true;
            return;
        }
        for (std::size_t mark = 0; mark < m_marks.size(); ++mark) {
            if (lowerAscii(low) == m_marks[mark][0] && markAt(p + start, n - start, mark)) {
                m_found |= 1u << mark;
            }
        }
    }
}

void Utf16FirstLine::feed(std::string_view bytes) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t n = bytes.size();
    if (m_offset == 0 && n >= 2 && p[0] == 0xFF && p[1] == 0xFE) m_bom = true;
    if (!m_ended && !m_tail.empty() && n > 0) {
        // Marks that began near the end of the previous piece.
        std::string joint = m_tail;
        joint.append(bytes.substr(0, m_longest));
        scan(reinterpret_cast<const std::uint8_t*>(joint.data()), joint.size(),
             m_offset - m_tail.size(), m_tail.size(), true);
    }
    // Marks that do not end inside this piece are looked at with the next.
    if (!m_ended) scan(p, n, m_offset, 0, false);
    m_tail.append(bytes.substr(n > m_longest ? n - m_longest : 0));
    if (m_tail.size() > m_longest) m_tail.erase(0, m_tail.size() - m_longest);
    m_offset += n;
}

void Utf16FirstLine::end() {
    m_ended = true;
}

bool Utf16FirstLine::hasLine() const {
    return m_offset >= (m_bom ? 4u : 2u);
}

void AnsiFirstLine::feed(std::string_view bytes) {
    if (ended() || bytes.empty()) return;
    m_any = true;
    const std::size_t lineEnd = std::min(bytes.find('\r'), bytes.find('\n'));
    std::string text = m_tail;
    text.append(bytes.substr(0, lineEnd));
    for (std::size_t i = 0; i + kXmlVersion.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < kXmlVersion.size() &&
               lowerAscii(static_cast<std::uint8_t>(text[i + k])) == kXmlVersion[k]) {
            ++k;
        }
        if (k == kXmlVersion.size()) {
            m_found = true;
            return;
        }
    }
    if (lineEnd != std::string_view::npos) {
        m_ended = true;
        return;
    }
    m_tail = text.substr(text.size() > kXmlVersion.size() ? text.size() - kXmlVersion.size() : 0);
}

OneReadSource::OneReadSource()
    : m_utf16({kXmlVersion, "encoding=\"utf-16\"", "encoding=\"utf-32\""}) {}

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
    source.feed(source.m_first);
    return source;
}

void OneReadSource::feed(std::string_view bytes) {
    m_ansi.feed(bytes);
    m_utf16.feed(bytes);
    if (m_atEnd) {
        m_ansi.end();
        m_utf16.end();
    }
}

std::optional<Flag16> OneReadSource::declarationMissing() const {
    // As the reference: no line read as ANSI text, or the mark in it, is a
    // no; otherwise the UTF-16 reading decides, and without a line it says no.
    if (m_ansi.found()) return kNo;
    if (!m_ansi.ended()) return std::nullopt;
    if (!m_ansi.hasLine()) return kNo;
    if ((m_utf16.found() & kDeclarationMark) != 0) return kNo;
    if (!m_utf16.ended()) return std::nullopt;
    return m_utf16.hasLine() ? kYes : kNo;
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
    feed(chunk.bytes);
    return !chunk.bytes.empty() && !declaresUtf16();
}

std::int64_t OneReadSource::expectedChunks() const {
    const auto size = static_cast<std::int64_t>(kChunkChars);
    return (m_stream.totalChars() + size - 1) / size;
}

}  // namespace mv::engine
