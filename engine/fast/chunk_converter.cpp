#include "engine/fast/chunk_converter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/codepage.h"
#include "engine/fast/byte_scan.h"

namespace mv::engine::fast {

namespace {

// The searches of the prolog ignore letter case the way the 16-bit ones do:
// two bytes match when their characters fold to the same letter.
struct Folding {
    std::array<std::uint8_t, 256> fold{};
    std::array<std::uint8_t, 256> other{};  // the other case of a folded letter
    Folding() {
        for (unsigned b = 0; b < 256; ++b) {
            fold[b] = ansiCode(foldCase(ansiChar(static_cast<std::uint8_t>(b))));
            other[b] = static_cast<std::uint8_t>(b);
        }
        for (unsigned b = 0; b < 256; ++b) {
            if (fold[b] != b) other[fold[b]] = static_cast<std::uint8_t>(b);
        }
    }
};
const Folding kFolding;

// Positions count from 1 as in the reference procedures; 0 is "not found".
// A search from below 1 would fail there, and declines the chunk here.
using Pos1 = std::int64_t;
constexpr Pos1 kFails = -1;

Pos1 len(std::string_view t) {
    return static_cast<Pos1>(t.size());
}

const std::uint8_t* bytesOf(std::string_view t) {
    return reinterpret_cast<const std::uint8_t*>(t.data());
}

Pos1 findByte(Pos1 from, std::string_view t, char c) {
    if (from < 1) return kFails;
    if (from > len(t)) return 0;
    const void* hit =
        std::memchr(t.data() + from - 1, c, t.size() - static_cast<std::size_t>(from - 1));
    return hit ? static_cast<const char*>(hit) - t.data() + 1 : 0;
}

// The first occurrence of the needle, letter case ignored.
Pos1 findFolded(Pos1 from, std::string_view t, std::string_view needle) {
    if (from < 1) return kFails;
    if (from > len(t)) return 0;
    const std::size_t n = needle.size();
    if (n == 0) return from;
    if (n > t.size()) return 0;
    const auto& fold = kFolding.fold;
    const auto& other = kFolding.other;
    const std::uint8_t* p = bytesOf(t);
    const std::uint8_t* q = bytesOf(needle);
    const std::size_t end = t.size() - n + 1;
    if (n == 1) {
        for (std::size_t i = static_cast<std::size_t>(from - 1); i < end; ++i) {
            if (fold[p[i]] == fold[q[0]]) return static_cast<Pos1>(i) + 1;
        }
        return 0;
    }
    const std::size_t gap = n - 1;
    const std::uint8_t a0 = fold[q[0]], a1 = fold[q[1]], a2 = fold[q[gap]];
    for (std::size_t i = static_cast<std::size_t>(from - 1); i < end; ++i) {
        i = triple(p, i, end, gap, a0, other[a0], a1, other[a1], a2, other[a2]);
        if (i == kNone) return 0;
        std::size_t k = 2;
        while (k < gap && fold[p[i + k]] == fold[q[k]]) ++k;
        if (k >= gap) return static_cast<Pos1>(i) + 1;
    }
    return 0;
}

// Where "<?" and "<!" stand in a chunk: the only places where a declaration,
// an "<?xml:" instruction or a DOCTYPE can begin. One scan answers all their
// searches; most chunks of a large file hold none.
class HeadMarks {
public:
    explicit HeadMarks(std::string_view chunk) : m_chunk(chunk) {
        const std::uint8_t* p = bytesOf(chunk);
        const std::size_t end = chunk.empty() ? 0 : chunk.size() - 1;
        for (std::size_t i = 0; i < end; ++i) {
            i = triple(p, i, end, 1, '<', '<', '?', '!', '?', '!');
            if (i == kNone) break;
            m_starts.push_back(i);
        }
    }

    // findFolded(from, t, mark) for a mark that begins with "<?" or "<!", where
    // t is the chunk without its first characters.
    Pos1 find(Pos1 from, std::string_view t, std::string_view mark) const {
        if (from < 1) return kFails;
        if (from > len(t)) return 0;
        const std::size_t cut = m_chunk.size() - t.size();
        const std::size_t first = cut + static_cast<std::size_t>(from - 1);
        for (std::size_t start : m_starts) {
            if (start < first) continue;
            const std::size_t at = start - cut;
            if (at + mark.size() > t.size()) break;
            if (findFolded(1, t.substr(at, mark.size()), mark) == 1)
                return static_cast<Pos1>(at) + 1;
        }
        return 0;
    }

private:
    std::string_view m_chunk;
    std::vector<std::size_t> m_starts;
};

std::string_view withoutFirst(std::string_view t, Pos1 n) {
    if (n <= 0) return t;
    if (n >= len(t)) return {};
    return t.substr(static_cast<std::size_t>(n));
}

std::string_view firstChars(std::string_view t, Pos1 n) {
    if (n <= 0) return {};
    if (n >= len(t)) return t;
    return t.substr(0, static_cast<std::size_t>(n));
}

// StripXmlProlog on 8-bit text; nothing when it would fail.
std::optional<std::string_view> strip(std::string_view chunk, const HeadMarks& marks,
                                      std::string_view rootTag, Flag16 skipHead, Flag16 skipTail) {
    std::string_view t = chunk;
    Pos1 p = 1;
    bool fails = false;
    auto cutThrough = [&](Pos1 from, std::string_view mark) {
        Pos1 b = mark[1] == '?' || mark[1] == '!' ? marks.find(from, t, mark)
                                                  : findFolded(from, t, mark);
        if (b == kFails) fails = true;
        if (b <= 0) return;
        p = findByte(b, t, '>');
        if (p > 0) t = withoutFirst(t, p);
    };
    if (!skipHead.isSet()) {
        cutThrough(1, "<?xml version");
        if (!fails) cutThrough(p, "<?xml:");
        if (!fails) cutThrough(p, "<!DOCTYPE");
    }
    if (!fails && !rootTag.empty()) {
        std::string needle;
        if (!skipHead.isSet()) {
            needle.append("<").append(rootTag).append(" ");
            cutThrough(p, needle);
        }
        if (!fails && !skipTail.isSet()) {
            needle.assign("</").append(rootTag).append(">");
            Pos1 b = findFolded(p, t, needle);
            if (b == kFails) fails = true;
            if (b > 0) {
                Pos1 e = findByte(b, t, '>');
                if (e > 0) t = firstChars(t, e + 1);
            }
        }
    }
    if (fails) return std::nullopt;
    return t;
}

constexpr char kHex[] = "0123456789ABCDEF";

// Copies a run of at most 64 bytes. Short runs move as one or two 16-byte
// blocks when the source has that many bytes left; the writer keeps 64 bytes
// of room beyond what it writes.
inline char* copyRun(char* w, const std::uint8_t* s, std::size_t n, const std::uint8_t* limit) {
#if defined(__SSE2__)
    if (n <= 16 && s + 16 <= limit) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
        return w + n;
    }
    if (n <= 32 && s + 32 <= limit) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + 16),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)));
        return w + n;
    }
#else
    (void)limit;
#endif
    std::memcpy(w, s, n);
    return w + n;
}

// The JSON writer fed with the flattened text piece by piece. Rows end at "|",
// fields at "~"; a key is written on trust and taken back when its row ends
// before its value begins.
class Writer {
public:
    explicit Writer(OutputBytes& out) : m_out(out) {}

    void beginRecord() {
        if (m_started) return;
        m_started = true;
        m_out.append(" { \r\n{");
        m_keyStart = m_out.size();
        m_out.append("\"");
    }

    struct Mark {
        std::size_t size;
        std::size_t keyStart;
        bool started;
        bool inKey;
    };
    Mark mark() const { return {m_out.size(), m_keyStart, m_started, m_inKey}; }
    void backTo(const Mark& m) {
        m_out.setSize(m.size);
        m_keyStart = m.keyStart;
        m_started = m.started;
        m_inKey = m.inKey;
    }

    // Writes p[i...] up to the end of a key (the first ">") or of a value (the
    // first "</") and returns where that end is; kNone, with part of the text
    // written, when there is none.
    std::size_t segment(const std::uint8_t* p, std::size_t i, std::size_t n, bool value) {
        // Room for a block's worst case (every byte six or seven) and the
        // 16-byte copies' overrun, asked for as the output grows.
        constexpr std::size_t kRoom = 8 * 64 + 80;
        char* base = m_out.reserveMore(kRoom) - m_out.size();
        char* w = base + m_out.size();
        char* roomEnd = base + m_out.size() + kRoom;
        const std::uint8_t* limit = p + n;
        while (i < n) {
            if (roomEnd - w < static_cast<std::ptrdiff_t>(kRoom)) {
                m_out.setSize(static_cast<std::size_t>(w - base));
                base = m_out.reserveMore(4 * kRoom + m_out.size() / 2) - m_out.size();
                w = base + m_out.size();
                roomEnd = w + 4 * kRoom + m_out.size() / 2;
            }
            // The bytes that need a look, by aligned blocks of 64 whose masks
            // are worked out once for all the keys and values in them; the
            // rest move in runs.
            const std::size_t block = i / 64;
            const std::size_t offset = i % 64;
            if (block != m_block) {
                const std::size_t size = std::min<std::size_t>(64, n - block * 64);
                m_keyBits = keyMask(p + block * 64, size);
                m_valueBits = valueMask(p + block * 64, size);
                m_block = block;
            }
            const std::size_t avail = std::min<std::size_t>(64 - offset, n - i);
            const bool inKey = m_inKey;
            std::uint64_t special = (inKey ? m_keyBits : m_valueBits) >> offset;
            std::size_t pos = 0;
            while (special != 0) {
                const std::size_t k = static_cast<std::size_t>(__builtin_ctzll(special));
                w = copyRun(w, p + i + pos, k - pos, limit);
                const std::uint8_t c = p[i + k];
                if (value ? c == '<' && i + k + 1 < n && p[i + k + 1] == '/' : c == '>') {
                    m_out.setSize(static_cast<std::size_t>(w - base));
                    return i + k;
                }
                w = inKey ? separatorOrDrop(base, w, c) : valueSpecial(base, w, c);
                pos = k + 1;
                special &= special - 1;
                if (m_inKey != inKey) break;  // the other kind of field: other bytes matter
            }
            if (m_inKey != inKey) {
                i += pos;
                continue;
            }
            w = copyRun(w, p + i + pos, avail - pos, limit);
            i += avail;
        }
        m_out.setSize(static_cast<std::size_t>(w - base));
        return kNone;
    }

    void separator(char c) {
        char* base = m_out.reserveMore(16) - m_out.size();
        char* w = base + m_out.size();
        w = m_inKey ? separatorOrDrop(base, w, static_cast<std::uint8_t>(c))
                    : valueSpecial(base, w, static_cast<std::uint8_t>(c));
        m_out.setSize(static_cast<std::size_t>(w - base));
    }

    void finish(bool declarationMissing) {
        if (!m_started) {
            m_out.append(declarationMissing ? "May be not a valid XML file." : "null");
            return;
        }
        if (m_inKey) {
            m_out.setSize(m_keyStart);
        } else {
            m_out.append("\"");
        }
        m_out.append("}\r\n } ");
    }

private:
    char* newRow(char* base, char* w) {
        std::memcpy(w, "},\r\n{", 5);
        w += 5;
        m_keyStart = static_cast<std::size_t>(w - base);
        *w++ = '"';
        m_inKey = true;
        return w;
    }

    // A special byte inside a key: a separator, or markup that is deleted.
    char* separatorOrDrop(char* base, char* w, std::uint8_t c) {
        if (c == '~') {
            std::memcpy(w, "\":\"", 3);
            m_inKey = false;
            return w + 3;
        }
        if (c == '|') return newRow(base, base + m_keyStart);
        return w;
    }

    char* valueSpecial(char* base, char* w, std::uint8_t c) {
        switch (c) {
            case '\r':
            case '\n':
            case '/':
            case '<':
            case '>':
                return w;
            case '~':
                *w++ = '"';
                m_keyStart = static_cast<std::size_t>(w - base);
                *w++ = ',';
                *w++ = '"';
                m_inKey = true;
                return w;
            case '|':
                *w++ = '"';
                return newRow(base, w);
            case 8:
                return put2(w, 'b');
            case 9:
                return put2(w, 't');
            case 12:
                return put2(w, 'f');
            case 127:  // stopped at by the vector scans, written as itself
                *w = static_cast<char>(c);
                return w + 1;
            case '"':
            case '\'':
            case '\\':
                return put2(w, static_cast<char>(c));
            default:
                std::memcpy(w, "\\u00", 4);
                w[4] = kHex[c >> 4];
                w[5] = kHex[c & 15];
                return w + 6;
        }
    }

    static char* put2(char* w, char c) {
        w[0] = '\\';
        w[1] = c;
        return w + 2;
    }

    OutputBytes& m_out;
    std::size_t m_block = kNone;  // the block of the text whose masks are kept
    std::uint64_t m_keyBits = 0;
    std::uint64_t m_valueBits = 0;
    bool m_started = false;
    bool m_inKey = true;
    std::size_t m_keyStart = 0;  // where the pending key and its "," began
};

// The first c in p[i..n), or kNone; most are a few bytes away.
std::size_t nextByte(const std::uint8_t* p, std::size_t i, std::size_t n, std::uint8_t c) {
    for (std::size_t near = std::min(n, i + 16); i < near; ++i) {
        if (p[i] == c) return i;
    }
    if (i >= n) return kNone;
    const void* hit = std::memchr(p + i, c, n - i);
    return hit ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - p) : kNone;
}

// ReplaceXML's walk, each key and value written as it is found: a key runs
// to the first ">" after its "<", a value to the first "</" after that, and
// the record closes at the first ">" after the "</". Text the walk would not
// take because its end is missing is taken back.
void flatten(std::string_view t, Writer& writer) {
    const std::uint8_t* p = bytesOf(t);
    const std::size_t n = t.size();
    std::size_t at = 0;  // ReplaceXML's P, counted from 0
    while (at + 1 < n) {
        std::size_t l = nextByte(p, at, n, '<');
        if (l == kNone) break;
        Writer::Mark before = writer.mark();
        writer.beginRecord();
        std::size_t g = writer.segment(p, l + 1, n, false);
        if (g == kNone) {
            writer.backTo(before);
            break;
        }
        writer.separator('~');
        before = writer.mark();
        std::size_t c = writer.segment(p, g + 1, n, true);
        if (c == kNone) {
            writer.backTo(before);
            break;
        }
        std::size_t close = nextByte(p, c + 2, n, '>');
        if (close == kNone) break;
        writer.separator('|');
        at = close;
    }
}

}  // namespace

NarrowText narrow(std::u16string_view chunk) {
    NarrowText out;
    out.bytes.resize(chunk.size());
    char* dst = out.bytes.data();
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        char16_t c = chunk[i];
        std::uint8_t code = c < 0x80 ? static_cast<std::uint8_t>(c) : ansiCode(c);
        dst[i] = static_cast<char>(code);
        if (code == '?' && c != u'?') {
            out.foreign = true;
            if (i > 0 && chunk[i - 1] == u'<') out.foreignAfterLt = true;
        }
    }
    return out;
}

FileRoot fileRootOf(std::u16string_view tag) {
    NarrowText text = narrow(tag);
    return FileRoot{std::move(text.bytes), text.foreign};
}

std::u16string widen(std::string_view bytes) {
    std::u16string out;
    decodeAnsi(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
    return out;
}

NarrowText narrow(std::string bytes) {
    NarrowText out;
    out.bytes = std::move(bytes);
    return out;
}

namespace {

std::optional<FileRoot> rootTagOf(const NarrowText& text, const HeadMarks& marks) {
    if (text.foreignAfterLt) return std::nullopt;
    const std::string_view t = text.bytes;
    Pos1 p = 1;
    Pos1 q = 0;
    for (std::string_view mark : {"<?xml version", "<?xml:", "<!DOCTYPE"}) {
        q = marks.find(p, t, mark);
        if (q == kFails) return std::nullopt;  // a mark without its ">" before it
        if (q > 0) p = findByte(q, t, '>');
    }
    q = findByte(p, t, '<');
    if (q == kFails) return std::nullopt;
    FileRoot root;
    if (q < 1) return root;
    p = findByte(q, t, '>');
    if (p <= 0) return root;
    root.offset = static_cast<std::size_t>(q);
    root.tag =
        std::string(t.substr(static_cast<std::size_t>(q), static_cast<std::size_t>(p - q - 1)));
    root.foreign = text.foreign && root.tag.find('?') != std::string::npos;
    return root;
}

}  // namespace

std::optional<FileRoot> rootTagOf(const NarrowText& text) {
    return rootTagOf(text, HeadMarks(text.bytes));
}

bool convertChunk(const ChunkJob& job, OutputBytes& out, FileRoot* ownRoot) {
    const NarrowText& text = *job.text;
    const HeadMarks marks(text.bytes);
    std::optional<FileRoot> own = rootTagOf(text, marks);
    if (!own) return false;
    const FileRoot& root = job.fileRoot ? *job.fileRoot : *own;
    // A "?" in the root tag could stand for, or meet, a character outside the
    // code page that the 16-bit search would tell apart.
    if ((root.foreign || text.foreign) && root.tag.find('?') != std::string::npos) return false;
    std::optional<std::string_view> stripped =
        strip(text.bytes, marks, root.tag, job.skipHead, job.skipTail);
    if (!stripped) return false;
    Writer writer(out);
    flatten(*stripped, writer);
    writer.finish(job.declarationMissing);
    if (ownRoot) *ownRoot = std::move(*own);
    return true;
}

}  // namespace mv::engine::fast
