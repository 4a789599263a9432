#include "engine/onepass/source_probe.h"

#include <algorithm>
#include <cstring>

#include "engine/cpu/scan.h"
#include "engine/native_text.h"
#include "report/step_runner.h"

namespace mv::engine::onepass {

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
    // ANSI text has no zero bytes, so most pieces need no more than this.
    if (n < 2 || !std::memchr(p + 1, 0, n - 1)) return;
    const std::size_t end = n - 1;  // a unit's high byte must follow
    // The units that matter: a line end, or the first letter of a mark, each
    // with a zero high byte. One vector scan per kind finds the next of each.
    struct Kind {
        std::uint8_t a, b;
        std::size_t next;
    };
    std::vector<Kind> kinds{{'\n', '\r', 0}};
    for (std::string_view mark : m_marks) {
        const auto lower = static_cast<std::uint8_t>(mark[0]);
        const auto upper =
            static_cast<std::uint8_t>(lower >= 'a' && lower <= 'z' ? lower - 32 : lower);
        if (std::none_of(kinds.begin(), kinds.end(), [&](const Kind& k) { return k.a == lower; })) {
            kinds.push_back({lower, upper, 0});
        }
    }
    auto find = [&](Kind& kind, std::size_t from) {
        kind.next = cpu::triple(p, from, end, 1, kind.a, kind.b, 0, 0, 0, 0);
    };
    for (Kind& kind : kinds) find(kind, 0);
    while (true) {
        Kind* first = &kinds[0];
        for (Kind& kind : kinds) {
            if (kind.next < first->next) first = &kind;
        }
        const std::size_t at = first->next;
        if (at == cpu::kNone) return;
        find(*first, at + 1);
        if ((base + at) % 2 != 0) continue;  // a high byte, not a unit
        if (marksOnly && at >= marksBefore) return;
        const std::uint8_t low = p[at];
        if (low == '\n' || low == '\r') {
            if (marksOnly) continue;
            m_ended = true;
            return;
        }
        for (std::size_t mark = 0; mark < m_marks.size(); ++mark) {
            if (lowerAscii(low) == m_marks[mark][0] && markAt(p + at, n - at, mark)) {
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

namespace {

// Where "xml version" begins in p[0, n), letter case ignored, or npos.
std::size_t findXmlVersion(const std::uint8_t* p, std::size_t n) {
    const std::size_t len = kXmlVersion.size();
    if (n < len) return std::string_view::npos;
    for (std::size_t i = 0; i + len <= n; ++i) {
        i = cpu::triple(p, i, n - len + 1, len - 1, 'x', 'X', 'm', 'M', 'n', 'N');
        if (i == cpu::kNone) break;
        std::size_t k = 2;
        while (k < len && lowerAscii(p[i + k]) == kXmlVersion[k]) ++k;
        if (k == len) return i;
    }
    return std::string_view::npos;
}

}  // namespace

void AnsiFirstLine::feed(std::string_view bytes) {
    if (ended() || bytes.empty()) return;
    m_any = true;
    const std::size_t lineEnd = std::min(bytes.find('\r'), bytes.find('\n'));
    const std::string_view line = bytes.substr(0, lineEnd);
    // A mark across the previous piece and this one, then one inside this one.
    std::string joint = m_tail;
    joint.append(line.substr(0, kXmlVersion.size() - 1));
    auto bytesOf = [](std::string_view t) {
        return reinterpret_cast<const std::uint8_t*>(t.data());
    };
    if (findXmlVersion(bytesOf(joint), joint.size()) != std::string_view::npos ||
        findXmlVersion(bytesOf(line), line.size()) != std::string_view::npos) {
        m_found = true;
        return;
    }
    if (lineEnd != std::string_view::npos) {
        m_ended = true;
        return;
    }
    m_tail.append(
        line.substr(line.size() > kXmlVersion.size() ? line.size() - kXmlVersion.size() : 0));
    if (m_tail.size() > kXmlVersion.size() - 1)
        m_tail.erase(0, m_tail.size() - (kXmlVersion.size() - 1));
}

OneReadSource::OneReadSource()
    : m_utf16({kXmlVersion, "encoding=\"utf-16\"", "encoding=\"utf-32\""}) {}

std::optional<OneReadSource> OneReadSource::open(std::u16string_view path) {
    OneReadSource source;
    bool opened = false;
    const auto failure = report::failureOf([&] {
        // Opening checks what GetFile would: a regular file that can be read.
        const std::string native = toNative(path);
        if (native.empty()) return;
        source.m_stream = TextReader::open(native, TextFormat::Ansi);
        source.m_stream.keepBytes();
        source.m_stream.readBytesInto(kChunkChars, source.m_first);
        opened = true;
    });
    if (failure || !opened) return std::nullopt;
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
    if (report::failureOf([&] { m_stream.readBytesInto(kChunkChars, chunk.bytes); })) {
        m_failed = true;
        return false;
    }
    if (chunk.bytes.size() < kChunkChars) m_atEnd = true;
    feed(chunk.bytes);
    return !chunk.bytes.empty() && !declaresUtf16();
}

void OneReadSource::close() {
    if (m_stream.isOpen()) m_stream.Close();
}

std::int64_t OneReadSource::expectedChunks() const {
    const auto size = static_cast<std::int64_t>(kChunkChars);
    return (m_stream.totalChars() + size - 1) / size;
}

}  // namespace mv::engine::onepass
