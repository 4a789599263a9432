#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "engine/codepage.h"
#include "engine/cpu/isa.h"
#include "tests/support/chunk_equality.h"
#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

using test::ChunkCase;
using test::chunkDifference;

// Pieces that matter to some step of the chain, in every letter case, mixed
// with arbitrary characters.
const std::u16string_view kPieces[] = {
    u"<?xml version=\"1.0\"?>",
    u"<?XML VERSION=\"1.0\" encoding=\"UTF-16\"?>",
    u"<?xMl vErSiOn",
    u"<?xml:namespace prefix=\"o\"?>",
    u"<?XML:",
    u"<!DOCTYPE r>",
    u"<!doctype r [<!ENTITY x>]>",
    u"<!DocType",
    u"<r>",
    u"</r>",
    u"<R>",
    u"</R>",
    u"<r ",
    u"<r x=\"1\">",
    u"<r/>",
    u"<É>",
    u"</é>",
    u"<Œ a>",
    u"</œ>",
    u"<a>",
    u"</a>",
    u"<b>",
    u"</b",
    u"<",
    u">",
    u"/",
    u"</",
    u"~",
    u"|",
    u"\r\n",
    u"\r",
    u"\n",
    u"\t",
    u"\"",
    u"'",
    u"\\",
    u"{",
    u"}",
    u"?",
    u"&amp;",
    u"<!-- c -->",
    u"<![CDATA[x<y]]>",
    u" ",
    u"text",
    u"Don't {x} \\ café",
    u"a long run of plain text that the vector scans pass over in one go, well beyond sixty-four",
};

class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    std::u16string chunk(bool utf16) {
        std::u16string text;
        const int pieces = below(40);
        for (int i = 0; i < pieces; ++i) {
            switch (below(4)) {
                case 0:
                    text += anyChar(utf16);
                    break;
                default:
                    text += kPieces[below(static_cast<int>(std::size(kPieces)))];
            }
        }
        return text;
    }

private:
    char16_t anyChar(bool utf16) {
        if (utf16 && below(3) == 0) {
            const char16_t outside[] = {0x4E00, 0x0080, 0xFFFF, 0x0100, 0xD800};
            return outside[below(static_cast<int>(std::size(outside)))];
        }
        return ansiChar(static_cast<std::uint8_t>(below(256)));
    }

    std::mt19937 m_random;
};

// The generated chunks under every rule the run strips with: each chunk's own
// root tag, and a later chunk stripped with the first one's root tag (skipHead
// on, skipTail off), plus the other flag pairs; both decodings; every vector
// width this processor has.
TEST(FastChunk, SameBytesAsTheReferenceOverGeneratedChunks) {
    const cpu::Isa pinned = cpu::activeIsa();
    for (int level = static_cast<int>(cpu::Isa::Scalar);
         level <= static_cast<int>(cpu::bestIsa()); ++level) {
        cpu::useIsa(static_cast<cpu::Isa>(level));
        Generator gen(1234);
        int taken = 0;
        int total = 0;
        for (int i = 0; i < 3000; ++i) {
            ChunkCase c;
            c.utf16 = gen.below(3) == 0;
            c.chunk = gen.chunk(c.utf16);
            c.declarationMissing = gen.below(2) == 0;
            switch (gen.below(4)) {
                case 0:
                    break;
                case 1:
                    c.fileRoot =
                        gen.below(2) ? std::u16string(u"r") : gen.chunk(c.utf16).substr(0, 6);
                    c.skipHead = kYes;
                    break;
                default:
                    c.fileRoot = gen.chunk(c.utf16).substr(0, 4);
                    c.skipHead = Flag16{static_cast<std::int16_t>(gen.below(2) ? -1 : 0)};
                    c.skipTail = Flag16{static_cast<std::int16_t>(gen.below(2) ? -1 : 0)};
            }
            bool accepted = false;
            std::string difference = chunkDifference(c, &accepted);
            ASSERT_EQ(difference, "")
                << "case " << i << " at level " << level << ": " << test::printable(c.chunk);
            taken += accepted ? 1 : 0;
            ++total;
        }
        // The one-pass converter must carry most chunks, or it proves little.
        EXPECT_GT(taken, total * 3 / 4) << "level " << level;
    }
    cpu::useIsa(pinned);
}

// The vector variants work on blocks of 64 bytes and carry "<" followed by
// "/" across a block's edge: every piece of markup at every offset around the
// first two edges, at every vector width.
TEST(FastChunk, SameBytesWhereMarkupMeetsTheEdgeOfABlock) {
    const std::u16string longKey(70, u'k');
    const std::u16string longValue(70, u'v');
    const std::u16string pieces[] = {
        u"<k>v</k>",
        u"<a x=\"1\">\u00E9\"\\\t{}\r\n</a>",
        u"<a>b~c|d</a><e~f>g</e>",
        u"<" + longKey + u">" + longValue + u"</k>",
        u"<a>b<</a>/",
    };
    const cpu::Isa pinned = cpu::activeIsa();
    for (int level = static_cast<int>(cpu::Isa::Scalar);
         level <= static_cast<int>(cpu::bestIsa()); ++level) {
        cpu::useIsa(static_cast<cpu::Isa>(level));
        for (const std::u16string& piece : pieces) {
            for (std::size_t pad = 0; pad < 140; ++pad) {
                ChunkCase c;
                c.chunk = std::u16string(pad, u' ') + piece + piece;
                bool accepted = false;
                ASSERT_EQ(chunkDifference(c, &accepted), "")
                    << "level " << level << ", pad " << pad << ": " << test::printable(c.chunk);
                EXPECT_TRUE(accepted);
            }
        }
    }
    cpu::useIsa(pinned);
}

// A later chunk's closing root tag is sought in the same scan as the
// prolog's marks, past near misses; where it stands too often to note, and in
// a first chunk (whose root tag a mark far into it may change), it is sought
// apart.
TEST(FastChunk, SameBytesWhereTheClosingTagIsSoughtApart) {
    std::u16string nearMisses;
    std::u16string crowd;
    for (int i = 0; i < 100; ++i) {
        nearMisses += u"<k>v</rx></RX>";
        crowd += u"</rT>";
    }
    const std::u16string far(5000, u'.');
    struct Row {
        std::u16string chunk;
        std::optional<std::u16string> fileRoot;
    };
    const Row rows[] = {
        {u"<rt>" + nearMisses + u"</rT><k>after</k>", std::nullopt},
        {u"<rt>" + nearMisses + u"<k>no end</k>", std::nullopt},
        {nearMisses + u"</RT>" + nearMisses, u"rt"},
        {crowd + u"<rt x>" + crowd + crowd + u"<k>w</k>", u"rt"},
        {u"<a><k>v</k>" + far + u"<?xml version=\"1.0\"?><b><k>w</k></a><k>x</k></B><k>y</k>",
         std::nullopt},
        {u"<a><k>v</k>" + far + u"<!DOCTYPE b><b><k>w</k></A><k>x</k></b><k>y</k>", std::nullopt},
    };
    const cpu::Isa pinned = cpu::activeIsa();
    for (int level = static_cast<int>(cpu::Isa::Scalar);
         level <= static_cast<int>(cpu::bestIsa()); ++level) {
        cpu::useIsa(static_cast<cpu::Isa>(level));
        for (const Row& row : rows) {
            for (const Flag16 skipHead : {kNo, kYes}) {
                ChunkCase c;
                c.chunk = row.chunk;
                c.fileRoot = row.fileRoot;
                c.skipHead = skipHead;
                bool accepted = false;
                ASSERT_EQ(chunkDifference(c, &accepted), "")
                    << "level " << level << ": " << test::printable(c.chunk.substr(0, 40));
                EXPECT_TRUE(accepted);
            }
        }
    }
    cpu::useIsa(pinned);
}

TEST(FastChunk, DeclinesWhatTheReferenceReportsAndKeepsEdgeBytes) {
    struct Row {
        std::u16string_view chunk;
        bool taken;
    };
    const Row rows[] = {
        {u"<?xml version=\"1.0\"", false},  // a declaration without ">"
        {u"<!DOCTYPE r", false},
        {u"<r><r x", false},  // the matched start tag has no ">": the strip fails
        {u"<r>\x7F\x80\x81\xFF{}</r>", true},
        {u"", true},
        {u"<a>", true},
        {u"abc", true},
    };
    for (const Row& row : rows) {
        ChunkCase c;
        c.chunk = std::u16string(row.chunk);
        bool accepted = false;
        EXPECT_EQ(chunkDifference(c, &accepted), "") << test::printable(row.chunk);
        EXPECT_EQ(accepted, row.taken) << test::printable(row.chunk);
    }
}

// A chunk of a ring is converted into room written over beforehand: every
// byte the result counts must be the converter's own, whatever the room held.
TEST(FastChunk, ResultDoesNotDependOnWhatItsRoomHeld) {
    const std::string chunks[] = {
        "<r><a x=\"1\">\xE9\"\\\t{}\r\n</a><b>v</b><c~d>e|f</c>",
        std::string(3000, ' ') + "<k>" + std::string(200, '\xF8') + "</k><x>",
    };
    for (const std::string& chunk : chunks) {
        std::string results[2];
        for (int fill : {0, 0xAA}) {
            const onepass::NarrowText text = onepass::narrow(std::string(chunk));
            const onepass::ChunkJob job{&text, nullptr, kNo, kNo, false};
            onepass::OutputBytes out;
            out.claimRoom(1 << 16);
            std::memset(out.reserveMore(1 << 16), fill, 1 << 16);
            ASSERT_NE(onepass::convertChunk(job, out), onepass::ChunkOutcome::Declined);
            results[fill == 0 ? 0 : 1] = std::string(out.view());
        }
        EXPECT_EQ(results[0], results[1]) << test::printable(chunk);
    }
}

}  // namespace
}  // namespace mv::engine
