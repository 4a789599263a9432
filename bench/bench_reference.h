// Plain models of the engine's stages, written to be read, not to be fast, and
// the helpers the benchmarks check with. Every benchmark first runs its stage
// once and compares the result with its model's before any timing starts, so
// a fast but wrong engine shows up as an error row, never as a good figure.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench_data.h"
#include "report/error_report.h"
#include "tests/support/printable.h"

namespace mv::bench {

// One byte per character: the size the text has in an ANSI source file, so
// that the rates read like the whole-file script's MB/s.
inline void setCharsProcessed(benchmark::State& state, std::size_t charsPerIteration) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(charsPerIteration));
}

using test::printable;

// Empty when `got` equals `expected`; otherwise where and how they part.
template <class Text>
std::string mismatch(std::string_view what, const Text& got, const Text& expected) {
    if (got == expected) return {};
    std::size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
    const std::size_t from = at < 20 ? 0 : at - 20;
    auto excerpt = [from](const Text& text) {
        return printable(from < text.size() ? Text(text).substr(from, 60) : Text());
    };
    return std::string(what) + ": differs from the model at " + std::to_string(at) + " (" +
           std::to_string(got.size()) + " vs " + std::to_string(expected.size()) +
           " long): got \"" + excerpt(got) + "\", expected \"" + excerpt(expected) + "\"";
}

// The two chunks of bench_data.h as arguments: /chunk:0 and /chunk:1.
inline void chunkArgs(benchmark::internal::Benchmark* b) {
    b->ArgName("chunk")->Arg(0)->Arg(1);
}

inline std::size_t chunkIndex(benchmark::State& state) {
    const auto index = static_cast<std::size_t>(state.range(0));
    state.SetLabel(index == 0 ? "first chunk" : "middle chunk");
    return index;
}

// Runs `check` (which returns a mismatch text, empty when right) and turns a
// wrong result, an exception or an error report into a skipped benchmark.
// Returns whether the benchmark may go on to time its stage.
template <class Check>
bool checkedOnce(benchmark::State& state, Check&& check,
                 const report::RecordingReport* report = nullptr) {
    std::string problem;
    try {
        problem = check();
    } catch (const std::exception& e) {
        problem = std::string("threw: ") + e.what();
    }
    if (problem.empty() && report != nullptr && report->size() > 0) {
        const auto first = report->entries().front();
        problem = "reported \"" + first.description + "\" " + first.location + "at line " +
                  std::to_string(first.step);
    }
    if (!problem.empty()) state.SkipWithError(problem.c_str());
    return problem.empty();
}

namespace model {

inline constexpr std::size_t npos = std::u16string_view::npos;

// Letter case as the engine ignores it: ASCII and the letters of Windows-1252.
constexpr char16_t fold(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
    switch (c) {
        case 0x0152:
            return 0x0153;
        case 0x0160:
            return 0x0161;
        case 0x017D:
            return 0x017E;
        case 0x0178:
            return 0x00FF;
        default:
            return c;
    }
}

// 1-based position of `needle` at or after `from`, ignoring case; 0 when
// absent or when `from` lies beyond the end.
inline std::int64_t searchFrom(std::u16string_view text, std::u16string_view needle,
                               std::int64_t from) {
    if (from < 1) throw std::invalid_argument("search from position " + std::to_string(from));
    for (std::size_t i = static_cast<std::size_t>(from - 1); i + needle.size() <= text.size();
         ++i) {
        std::size_t k = 0;
        while (k < needle.size() && fold(text[i + k]) == fold(needle[k])) ++k;
        if (k == needle.size()) return static_cast<std::int64_t>(i) + 1;
    }
    return 0;
}

// The pieces one after the other. (GCC 12 warns falsely about
// "literal" + std::u16string, so the models build their texts with this.)
inline std::u16string join(std::initializer_list<std::u16string_view> pieces) {
    std::u16string out;
    for (std::u16string_view piece : pieces) out += piece;
    return out;
}

// Characters first..last, counted from 1.
inline std::u16string chars(std::u16string_view text, std::int64_t first, std::int64_t last) {
    if (last < first) return {};
    return std::u16string(text.substr(static_cast<std::size_t>(first - 1),
                                      static_cast<std::size_t>(last - first + 1)));
}

inline std::u16string rootTag(std::u16string_view t) {
    std::int64_t p = 1;
    for (std::u16string_view mark : {u"<?xml version", u"<?xml:", u"<!DOCTYPE"}) {
        if (p < 1) return {};
        std::int64_t q = searchFrom(t, mark, p);
        if (q > 0) p = searchFrom(t, u">", q);
    }
    if (p < 1) return {};
    std::int64_t q = searchFrom(t, u"<", p);
    if (q < 1) return {};
    p = searchFrom(t, u">", q);
    if (p < 1) return {};
    return chars(t, q + 1, p - 1);
}

// The prolog and tail cut as the conversion run asks for it (both flags 0).
inline std::u16string stripProlog(std::u16string_view chunk, std::u16string_view root) {
    std::u16string t(chunk);
    std::int64_t p = 1;
    auto cutThrough = [&](std::int64_t from, std::u16string_view mark) {
        std::int64_t b = searchFrom(t, mark, from);
        if (b == 0) return;
        p = searchFrom(t, u">", b);
        if (p > 0) t.erase(0, static_cast<std::size_t>(p));
    };
    cutThrough(1, u"<?xml version");
    cutThrough(p, u"<?xml:");
    cutThrough(p, u"<!DOCTYPE");
    if (!root.empty()) {
        cutThrough(p, join({u"<", root, u" "}));
        std::int64_t b = searchFrom(t, join({u"</", root, u">"}), p);
        if (b > 0) {
            std::int64_t e = searchFrom(t, u">", b);
            if (e > 0) t.resize(std::min(t.size(), static_cast<std::size_t>(e + 1)));
        }
    }
    return t;
}

inline std::u16string flatten(std::u16string_view t) {
    std::u16string o;
    const auto n = static_cast<std::int64_t>(t.size());
    std::int64_t p = 1;
    while (p < n) {
        std::int64_t l = searchFrom(t, u"<", p);
        if (l == 0) break;
        p = searchFrom(t, u">", l);
        if (p == 0) break;
        o += chars(t, l + 1, p - 1);
        o += u'~';
        std::int64_t c = searchFrom(t, u"</", p);
        if (c == 0) break;
        o += chars(t, p + 1, c - 1);
        std::int64_t g = searchFrom(t, u">", c);
        if (g == 0) break;
        o += u'|';
        p = g;
    }
    std::u16string result;
    for (char16_t c : o) {
        if (c != u'\r' && c != u'\n' && c != u'/' && c != u'>' && c != u'<') result += c;
    }
    return result;
}

inline std::u16string escape(std::u16string_view text) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string out;
    for (char16_t c : text) {
        int code = c < 128 ? c : cp1252Byte(c);
        if (code < 0) code = '?';
        switch (code) {
            case 8:
                out += u"\\b";
                break;
            case 9:
                out += u"\\t";
                break;
            case 10:
                out += u"\\n";
                break;
            case 12:
                out += u"\\f";
                break;
            case 13:
                out += u"\\r";
                break;
            case '"':
                out += u"\\\"";
                break;
            case '\'':
                out += u"\\'";
                break;
            case '\\':
                out += u"\\\\";
                break;
            default:
                if (code >= 32 && code <= 127 && code != '{' && code != '}') {
                    out += c;
                } else {
                    out += u"\\u";
                    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 15];
                }
        }
    }
    return out;
}

inline std::u16string toJson(std::u16string_view flattened) {
    if (flattened.empty()) return u"null";
    auto pieces = [](std::u16string_view text, char16_t separator) {
        std::vector<std::u16string_view> out;
        for (std::size_t start = 0;;) {
            std::size_t end = text.find(separator, start);
            out.push_back(text.substr(start, end == npos ? npos : end - start));
            if (end == npos) return out;
            start = end + 1;
        }
    };
    std::u16string body;
    for (std::u16string_view row : pieces(flattened, u'|')) {
        std::vector<std::u16string_view> fields = pieces(row, u'~');
        std::u16string line;
        for (std::size_t j = 0; j + 1 < fields.size(); j += 2) {
            if (!line.empty()) line += u',';
            line += join({u"\"", fields[j], u"\":\"", escape(fields[j + 1]), u"\""});
        }
        if (!body.empty()) body += u",\r\n";
        body += join({u"{", line, u"}"});
    }
    return join({u" { \r\n", body, u"\r\n } "});
}

// One chunk's bytes as the conversion run writes them.
inline std::string convertChunk(std::string_view bytes) {
    const std::u16string text = widen(bytes);
    return narrow(toJson(flatten(stripProlog(text, rootTag(text)))));
}

}  // namespace model
}  // namespace mv::bench
