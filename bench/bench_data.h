// Records-style source text for the benchmarks and for marrowvale-gen: an XML
// declaration, a <records> root and many <record id="N"> elements with a few
// children, as Windows-1252 bytes with CR LF line ends. Every record is a pure
// function of its number, so every run and every machine sees the same bytes.
// Standard C++ only: marrowvale-gen links nothing else.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mv::bench {

inline constexpr std::size_t kChunkChars = 65536;

// Bytes 80..9F of Windows-1252; every other byte is its own code point. Kept
// apart from the engine's table so that checks against it mean something.
inline constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr char16_t widenByte(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t{byte};
}

// The Windows-1252 byte of a character, or -1 when the code page lacks it.
constexpr int cp1252Byte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == c) return static_cast<int>(0x80 + i);
    }
    return -1;
}

inline std::u16string widen(std::string_view bytes) {
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[i] = widenByte(static_cast<unsigned char>(bytes[i]));
    }
    return text;
}

// "?" for a character outside the code page, as the converter writes it.
inline std::string narrow(std::u16string_view text) {
    std::string bytes(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        int b = cp1252Byte(text[i]);
        bytes[i] = static_cast<char>(b < 0 ? '?' : b);
    }
    return bytes;
}

// A small, fast, well-mixed hash (splitmix64): the dice of the generator.
constexpr std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

class RecordsText {
public:
    static std::string head() {
        return "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<records>\r\n";
    }
    static std::string tail() { return "</records>\r\n"; }

    // Appends record number `id` (counted from 1): about 200 bytes.
    static void appendRecord(std::string& out, std::uint64_t id) {
        const Vocabulary& v = vocabulary();
        std::uint64_t dice = mix(id);
        auto roll = [&dice](std::size_t sides) {
            std::size_t n = static_cast<std::size_t>(dice % sides);
            dice /= sides;
            return n;
        };
        out += "  <record id=\"";
        out += std::to_string(id);
        out += "\">\r\n    <name>";
        out += v.first[roll(v.first.size())];
        out += ' ';
        out += v.last[roll(v.last.size())];
        out += "</name>\r\n    <city>";
        out += v.city[roll(v.city.size())];
        out += "</city>\r\n    <joined>";
        out += std::to_string(1995 + roll(30));
        out += '/';
        appendTwoDigits(out, 1 + roll(12));
        out += '/';
        appendTwoDigits(out, 1 + roll(28));
        out += "</joined>\r\n";
        const std::size_t currency = roll(4);
        const std::size_t units = roll(5000);
        const std::size_t cents = roll(100);
        out += "    <amount currency=\"";
        out += kCurrencies[currency].code;
        out += "\">";
        out += v.currencySign[currency];
        out += std::to_string(units);
        out += kCurrencies[currency].decimalComma ? ',' : '.';
        appendTwoDigits(out, cents);
        out += "</amount>\r\n";
        if (roll(4) == 0) {
            out += "    <note>";
            out += v.note[roll(v.note.size())];
            out += "</note>\r\n";
        }
        if (roll(7) == 0) {
            out += "    <tags><tag>";
            out += kTags[roll(kTags.size())];
            out += "</tag><tag>";
            out += kTags[roll(kTags.size())];
            out += "</tag></tags>\r\n";
        }
        if (roll(5) == 0) out += "    <archived/>\r\n";
        out += "  </record>\r\n";
    }

    // The first `size` bytes of a document long enough to hold them; no tail.
    static std::string prefix(std::size_t size) {
        std::string out = head();
        out.reserve(size + 512);
        for (std::uint64_t id = 1; out.size() < size; ++id) appendRecord(out, id);
        out.resize(size);
        return out;
    }

private:
    struct Currency {
        const char* code;
        bool decimalComma;
    };
    static constexpr std::array<Currency, 4> kCurrencies = {
        {{"EUR", true}, {"GBP", false}, {"USD", false}, {"CHF", false}}};
    static constexpr std::array<const char*, 6> kTags = {"vip",   "late-payer", "newsletter",
                                                         "trade", "founder",    "wholesale"};

    template <std::size_t N>
    using Words = std::array<std::string, N>;

    // Readable 16-bit literals, turned into bytes once.
    struct Vocabulary {
        Words<18> first;
        Words<18> last;
        Words<16> city;
        Words<4> currencySign;
        Words<9> note;
    };

    template <std::size_t N>
    static Words<N> bytesOf(const std::array<std::u16string_view, N>& words) {
        Words<N> out;
        for (std::size_t i = 0; i < N; ++i) out[i] = narrow(words[i]);
        return out;
    }

    static const Vocabulary& vocabulary() {
        static const Vocabulary v{
            bytesOf<18>({u"Renée", u"Zoë", u"Jürgen", u"Ana", u"Björn", u"Chloé", u"Mårten",
                         u"François", u"Inés", u"Søren", u"Noël", u"Aoife", u"Tomás", u"Lena",
                         u"Giulia", u"Ólafur", u"Hélène", u"Paul"}),
            bytesOf<18>({u"Duval", u"Okafor", u"Müller", u"García", u"Lindqvist", u"Moreau",
                         u"Brønnum", u"Ferrand", u"O'Neill", u"Nakamura", u"Kowalczyk", u"Dubois",
                         u"Peña", u"Ågren", u"Schäfer", u"Costa", u"Žitnik", u"Œhlers"}),
            bytesOf<16>({u"Montréal", u"Köln", u"Zürich", u"Málaga", u"Besançon", u"Tromsø",
                         u"Lyon", u"Porto", u"Reykjavík", u"Genève", u"São Paulo", u"Córdoba",
                         u"Dublin", u"Aarhus", u"Brno", u"Tórshavn"}),
            bytesOf<4>({u"€ ", u"£", u"$", u"CHF "}),
            bytesOf<9>({u"Prefers the café’s terrace, “quiet table” please",
                        u"Call after 6 o'clock – not on Mondays",
                        u"Invoice copied to C:\\Accounts\\2021\\Q3",
                        u"Orders for Smith &amp; Sons go through this account",
                        u"Draft {pending} until the deposit of € 200 arrives",
                        u"Asked for \"express\" delivery twice", u"Columns:\tqty\tprice\ttotal",
                        u"Moved from Zürich in 2019/2020",
                        u"Naïve question about the Œuvre catalogue… answered"}),
        };
        return v;
    }

    static void appendTwoDigits(std::string& out, std::size_t n) {
        out += static_cast<char>('0' + n / 10 % 10);
        out += static_cast<char>('0' + n % 10);
    }
};

// The chunks the benchmarks run on, as the reader cuts them. Chunk 0 opens
// with the declaration and the root. The other is a later chunk, starting
// inside a record as most chunks of a large file do. It is the first one
// whose first tag is an end tag: when a chunk's first tag is a bare start tag
// such as <city>, StripXmlProlog takes it for the root and cuts the chunk
// after the matching </city>, leaving the later stages almost nothing to do.
inline const std::string& chunkBytes(std::size_t index) {
    static const std::array<std::string, 2> chunks = [] {
        const std::string document = RecordsText::prefix(32 * kChunkChars);
        std::array<std::string, 2> out = {document.substr(0, kChunkChars), std::string()};
        for (std::size_t at = kChunkChars; at < document.size(); at += kChunkChars) {
            std::string_view chunk = std::string_view(document).substr(at, kChunkChars);
            const std::size_t tag = chunk.find('<');
            if (tag + 1 < chunk.size() && chunk[tag + 1] == '/') {
                out[1] = std::string(chunk);
                break;
            }
        }
        return out;
    }();
    return chunks.at(index);
}

inline const std::u16string& chunkText(std::size_t index) {
    static const std::array<std::u16string, 2> texts = {widen(chunkBytes(0)), widen(chunkBytes(1))};
    return texts.at(index);
}

}  // namespace mv::bench
