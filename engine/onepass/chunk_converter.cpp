#include "engine/onepass/chunk_converter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/codepage.h"
#include "engine/cpu/isa.h"
#include "engine/cpu/scan.h"
#include "engine/result_note.h"

namespace mv::engine::onepass {

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
        i = cpu::triple(p, i, end, gap, a0, other[a0], a1, other[a1], a2, other[a2]);
        if (i == cpu::kNone) return 0;
        std::size_t k = 2;
        while (k < gap && fold[p[i + k]] == fold[q[k]]) ++k;
        if (k >= gap) return static_cast<Pos1>(i) + 1;
    }
    return 0;
}

// Where "<?" and "<!" stand in a chunk: the only places where a declaration,
// an "<?xml:" instruction or a DOCTYPE can begin. One scan answers all their
// searches; most chunks of a large file hold none. The same scan notes where
// the closing root tag may stand, so that the chunk is read once for both.
class HeadMarks {
public:
    explicit HeadMarks(std::string_view chunk) : m_chunk(chunk) {
        scanHeads(0, chunk.empty() ? 0 : chunk.size() - 1);
    }

    // All marks, and where `closing` ("</", the root tag, ">") stands.
    HeadMarks(std::string_view chunk, std::string_view closing)
        : m_chunk(chunk), m_closing(closing) {
        const std::uint8_t* p = bytesOf(chunk);
        const std::size_t gap = closing.size() - 1;
        std::size_t i = 0;
        if (chunk.size() > gap) {
            const std::size_t end = chunk.size() - gap;
            while (i < end) {
                const std::size_t at = cpu::headOrClose(p, i, end, gap);
                if (at == cpu::kNone) {
                    i = end;
                    break;
                }
                i = at + 1;
                if (p[at + 1] != '/') {
                    m_starts.push_back(at);
                } else if (findFolded(1, chunk.substr(at, closing.size()), closing) != 1) {
                    continue;
                } else if (m_closes.size() < kMostCloses) {
                    m_closes.push_back(at);
                } else {
                    // Too many to note: the search goes on from here alone.
                    m_closesFrom = at;
                    break;
                }
            }
        }
        scanHeads(i, chunk.empty() ? 0 : chunk.size() - 1);
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

    // findFolded(from, t, closing), t as for find.
    Pos1 findClosing(Pos1 from, std::string_view t, std::string_view closing) const {
        if (closing != m_closing) return findFolded(from, t, closing);
        if (from < 1) return kFails;
        if (from > len(t)) return 0;
        const std::size_t cut = m_chunk.size() - t.size();
        const std::size_t first = cut + static_cast<std::size_t>(from - 1);
        for (std::size_t start : m_closes) {
            if (start >= first) return static_cast<Pos1>(start - cut) + 1;
        }
        if (m_closesFrom == cpu::kNone) return 0;
        const Pos1 rest = static_cast<Pos1>(m_closesFrom) - static_cast<Pos1>(cut) + 1;
        return findFolded(std::max(from, rest), t, closing);
    }

private:
    static constexpr std::size_t kMostCloses = 64;

    void scanHeads(std::size_t i, std::size_t end) {
        const std::uint8_t* p = bytesOf(m_chunk);
        for (; i < end; ++i) {
            i = cpu::triple(p, i, end, 1, '<', '<', '?', '!', '?', '!');
            if (i == cpu::kNone) break;
            m_starts.push_back(i);
        }
    }

    std::string_view m_chunk;
    std::string m_closing;  // empty: the scan looked for no closing tag
    std::vector<std::size_t> m_starts;
    std::vector<std::size_t> m_closes;      // where it stands, the first ones
    std::size_t m_closesFrom = cpu::kNone;  // where the closing tag's search has to go on
};

// The root tag's closing tag, which ends the text of the last chunk.
std::string closingOf(std::string_view rootTag) {
    return std::string("</").append(rootTag).append(">");
}

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
            Pos1 b = marks.findClosing(p, t, closingOf(rootTag));
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

// The masks of a text's blocks, worked out a window at a time: one call into
// the vector variant per window, and the bytes are still in cache when the
// writer comes to them.
class TextMasks {
public:
    TextMasks(const std::uint8_t* p, std::size_t n) : m_p(p), m_n(n) {}

    // The walk asks for the masks of one block many times in a row. They are
    // kept at a fixed place, so that loading them does not wait for the
    // position that was just found: only a well-predicted branch does.
    const cpu::BlockMasks& at(std::size_t block) {
        if (block != m_block) {
            if (block - m_first >= m_count) refill(block);
            m_current = m_masks[block - m_first];
            m_block = block;
        }
        return m_current;
    }

    // The first position from i on whose bit is set in `field`, or kNone.
    std::size_t next(std::size_t i, std::uint64_t cpu::BlockMasks::*field) {
        if (i >= m_n) return cpu::kNone;
        std::uint64_t bits = at(i / 64).*field & (~std::uint64_t{0} << (i % 64));
        for (std::size_t block = i / 64;;) {
            if (bits != 0) return block * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
            if (++block * 64 >= m_n) return cpu::kNone;
            bits = at(block).*field;
        }
    }

private:
    static constexpr std::size_t kWindow = 64;

    // The walk only moves forward, so a window starts at the block asked for.
    void refill(std::size_t block) {
        const std::size_t blocks = (m_n + 63) / 64;
        m_first = block;
        m_count = std::min(kWindow, blocks - block);
        cpu::blockMasks(m_p, m_n, m_first, m_count, m_masks);
    }

    const std::uint8_t* m_p;
    std::size_t m_n;
    std::size_t m_first = 0;
    std::size_t m_count = 0;
    cpu::BlockMasks m_masks[kWindow];
    std::size_t m_block = cpu::kNone;
    cpu::BlockMasks m_current{};
};

// What the writer puts for a byte that the masks stop at: up to six bytes,
// written as one eight-byte store. "~" and "|" end a field or a row instead.
struct alignas(8) Replacement {
    char text[6];
    std::uint8_t size;
    bool separates;
};

struct Replacements {
    std::array<Replacement, 256> key{};
    std::array<Replacement, 256> value{};

    Replacements() {
        for (unsigned b = 0; b < 256; ++b) {
            key[b] = {{static_cast<char>(b)}, 1, false};
            value[b] = valueByte(static_cast<std::uint8_t>(b));
        }
        for (unsigned char c : {'\r', '\n', '/', '<', '>'}) key[c] = value[c] = {{}, 0, false};
        for (unsigned char c : {'~', '|'}) key[c] = value[c] = {{}, 0, true};
    }

    static Replacement valueByte(std::uint8_t c) {
        switch (c) {
            case 8:
                return {{'\\', 'b'}, 2, false};
            case 9:
                return {{'\\', 't'}, 2, false};
            case 12:
                return {{'\\', 'f'}, 2, false};
            case '"':
            case '\'':
            case '\\':
                return {{'\\', static_cast<char>(c)}, 2, false};
            default:
                if (c < 32 || c >= 128 || c == '{' || c == '}') {
                    return {{'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]}, 6, false};
                }
                return {{static_cast<char>(c)}, 1, false};
        }
    }
};
static_assert(sizeof(Replacement) == 8);
const Replacements kReplacements;

// Copies a run of at most 64 bytes as one or two 32-byte moves when the
// source has that many bytes left, so that the length decides no branch;
// the writer keeps room for the overrun.
inline char* copyRun(char* w, const std::uint8_t* s, std::size_t n, const std::uint8_t* limit) {
    if (limit - s >= 64) {
        std::memcpy(w, s, 32);
        if (n > 32) std::memcpy(w + 32, s + 32, 32);
        return w + n;
    }
    std::memcpy(w, s, n);
    return w + n;
}

// ReplaceXML's walk feeding the JSON writer, each key and value written as
// it is found: a key runs to the first ">" after its "<", a value to the
// first "</" after that, and the record closes at the first ">" after the
// "</". The writer's rows end at "|" and its fields at "~"; a key is written
// on trust and taken back when its row ends before its value begins. Text the
// walk would not take because its end is missing is taken back.
//
// One function with its state in locals: the fields are a few bytes long, so
// what a field costs is the work around it, and stores through the output
// pointer must not make the compiler reload state from memory.
// Compiled once per instruction set below: the shifts by a position and the
// 32-byte copies are single instructions where the processor has them.
// Kept whole, long and branchy as it is: the fields are a few bytes long.
// False when nothing was flattened: `out` then has the declaration answer's text.
// NOLINTNEXTLINE(readability-function-cognitive-complexity,readability-function-size)
[[gnu::always_inline]] inline bool flattenWalk(std::string_view t, OutputBytes& out,
                                               bool declarationMissing) {
    const std::uint8_t* p = bytesOf(t);
    const std::size_t n = t.size();
    const std::uint8_t* limit = p + n;
    TextMasks masks(p, n);

    // Room for a block's worst case (every byte seven), a separator and the
    // overrun of a 64-byte copy or an 8-byte store, checked once a block: the
    // separator between a key and its value or after a value fits in what the
    // block before it leaves.
    constexpr std::ptrdiff_t kRoom = 8 * 64 + 80;
    char* base = out.reserveMore(4 * kRoom) - out.size();
    char* w = base + out.size();
    char* roomEnd = w + 4 * kRoom;
    auto ensureRoom = [&] {
        if (roomEnd - w >= kRoom) return;
        const std::size_t size = static_cast<std::size_t>(w - base);
        const std::size_t more = 4 * kRoom + size / 2;
        out.setSize(size);
        base = out.reserveMore(more) - size;
        w = base + size;
        roomEnd = w + more;
    };

    bool started = false;
    bool inKey = true;
    std::size_t keyStart = 0;  // where the pending key and its "," began

    auto newRow = [&](char* at) {
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result): output bytes, no C string
        std::memcpy(at, "},\r\n{", 5);
        keyStart = static_cast<std::size_t>(at + 5 - base);
        at[5] = '"';
        inKey = true;
        return at + 6;
    };
    // "~" ends a key or a value, "|" a row; a key whose row ends is dropped.
    auto separate = [&](std::uint8_t c) {
        if (inKey) {
            if (c == '|') {
                w = newRow(base + keyStart);
                return;
            }
            // NOLINTNEXTLINE(bugprone-not-null-terminated-result): output bytes, no C string
            std::memcpy(w, "\":\"", 3);
            w += 3;
            inKey = false;
            return;
        }
        *w++ = '"';
        if (c == '|') {
            w = newRow(w);
            return;
        }
        keyStart = static_cast<std::size_t>(w - base);
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result): output bytes, no C string
        std::memcpy(w, ",\"", 2);
        w += 2;
        inKey = true;
    };

    // Writes the text from i up to the end of a key (the first ">") or of a
    // value (the first "</") and returns where that end is; kNone, with part
    // of the text written, when there is none.
    auto segment = [&](std::size_t i, bool value) __attribute__((always_inline)) {
        while (i < n) {
            ensureRoom();
            const cpu::BlockMasks& m = masks.at(i / 64);
            const unsigned offset = i % 64;
            const std::uint8_t* s = p + i;
            std::uint64_t special = (inKey ? m.key : m.value) >> offset;
            const std::uint64_t ends = (value ? m.valueEnd : m.gt) >> offset;
            std::size_t pos = 0;
            while (special != 0) {
                const unsigned k = static_cast<unsigned>(__builtin_ctzll(special));
                w = copyRun(w, s + pos, k - pos, limit);
                pos = k + 1;
                if ((ends >> k) & 1) return i + k;
                const std::uint8_t c = s[k];
                const Replacement& r = inKey ? kReplacements.key[c] : kReplacements.value[c];
                if (r.separates) {
                    separate(c);
                    // The other field kind stops at other bytes.
                    special = ((inKey ? m.key : m.value) >> offset) & (~std::uint64_t{1} << k);
                    continue;
                }
                std::memcpy(w, &r, 8);
                w += r.size;
                special &= special - 1;
            }
            const std::size_t avail = std::min<std::size_t>(64 - offset, n - i);
            w = copyRun(w, s + pos, avail - pos, limit);
            i += avail;
        }
        return cpu::kNone;
    };

    struct Mark {
        std::size_t size;
        std::size_t keyStart;
        bool started;
        bool inKey;
    };
    auto mark = [&] { return Mark{static_cast<std::size_t>(w - base), keyStart, started, inKey}; };
    auto backTo = [&](const Mark& m) {
        w = base + m.size;
        keyStart = m.keyStart;
        started = m.started;
        inKey = m.inKey;
    };

    std::size_t at = 0;  // ReplaceXML's P, counted from 0
    while (at + 1 < n) {
        const std::size_t l = masks.next(at, &cpu::BlockMasks::lt);
        if (l == cpu::kNone) break;
        Mark before = mark();
        if (!started) {
            started = true;
            // NOLINTNEXTLINE(bugprone-not-null-terminated-result): output bytes, no C string
            std::memcpy(w, " { \r\n{\"", 7);
            keyStart = static_cast<std::size_t>(w + 6 - base);
            w += 7;
        }
        const std::size_t g = segment(l + 1, false);
        if (g == cpu::kNone) {
            backTo(before);
            break;
        }
        separate('~');
        before = mark();
        const std::size_t c = segment(g + 1, true);
        if (c == cpu::kNone) {
            backTo(before);
            break;
        }
        const std::size_t close = masks.next(c + 2, &cpu::BlockMasks::gt);
        if (close == cpu::kNone) break;
        separate('|');
        at = close;
    }
    out.setSize(static_cast<std::size_t>(w - base));

    if (!started) {
        out.append(declarationMissing ? kNotValidXml : std::string_view("null"));
        return false;
    }
    if (inKey) {
        out.setSize(keyStart);
    } else {
        out.append("\"");
    }
    out.append("}\r\n } ");
    return true;
}

// Kept out of line: inlined into convertChunk they are compiled into slower code.
[[gnu::noinline]] bool flattenBaseline(std::string_view t, OutputBytes& out,
                                       bool declarationMissing) {
    return flattenWalk(t, out, declarationMissing);
}

#if defined(__x86_64__)
[[gnu::noinline, gnu::target("avx2,bmi,bmi2")]] bool flattenAvx2(std::string_view t,
                                                                 OutputBytes& out,
                                                                 bool declarationMissing) {
    return flattenWalk(t, out, declarationMissing);
}
#endif

bool flatten(std::string_view t, OutputBytes& out, bool declarationMissing) {
#if defined(__x86_64__)
    static const bool bmi2 = __builtin_cpu_supports("bmi2");
    if (bmi2 && cpu::activeIsa() >= cpu::Isa::Avx2) return flattenAvx2(t, out, declarationMissing);
#endif
    return flattenBaseline(t, out, declarationMissing);
}

}  // namespace

FileRoot fileRootOf(std::u16string_view tag) {
    NarrowText text = narrow(tag);
    return FileRoot{std::move(text.bytes), text.foreign};
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

ChunkOutcome convertChunk(const ChunkJob& job, OutputBytes& out, FileRoot* ownRoot) {
    const NarrowText& text = *job.text;
    // A later chunk's scan also looks for the closing tag of the file's root.
    // The first chunk's root tag is known only from its scan, so its closing
    // tag is searched for apart: once per file.
    const HeadMarks marks = !job.skipTail.isSet() && job.fileRoot && !job.fileRoot->tag.empty()
                                ? HeadMarks(text.bytes, closingOf(job.fileRoot->tag))
                                : HeadMarks(text.bytes);
    std::optional<FileRoot> own = rootTagOf(text, marks);
    if (!own) return ChunkOutcome::Declined;
    const FileRoot& root = job.fileRoot ? *job.fileRoot : *own;
    // A "?" in the root tag could stand for, or meet, a character outside the
    // code page that the 16-bit search would tell apart.
    if ((root.foreign || text.foreign) && root.tag.find('?') != std::string::npos) {
        return ChunkOutcome::Declined;
    }
    std::optional<std::string_view> stripped =
        strip(text.bytes, marks, root.tag, job.skipHead, job.skipTail);
    if (!stripped) return ChunkOutcome::Declined;
    const bool records = flatten(*stripped, out, job.declarationMissing);
    if (ownRoot) *ownRoot = std::move(*own);
    return records ? ChunkOutcome::Records : ChunkOutcome::Empty;
}

}  // namespace mv::engine::onepass
