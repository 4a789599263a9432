#include "engine/string_builder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "report/failure.h"
#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

using report::FailureKind;

std::u16string repeated(std::size_t count, char16_t c) {
    return std::u16string(count, c);
}

cStringBuilder builderWith(std::u16string_view content) {
    cStringBuilder b;
    b.Append(content);
    return b;
}

TEST(cStringBuilder, ANewBuilderIsEmpty) {
    cStringBuilder b;
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Capacity(), 0);
    EXPECT_EQ(b.ChunkSize(), 8192);
    EXPECT_TEXT(u"", b.toString());
}

TEST(cStringBuilder, GrowsByWholeChunksOnly) {
    struct Row {
        const char* name;
        std::vector<std::size_t> pieces;  // lengths appended in turn to a new builder
        std::int32_t capacity;
    };
    const Row rows[] = {
        {"one character takes one chunk", {1}, 8192},
        {"crossing into a second chunk", {1, 8192}, 16384},
        {"exactly one chunk", {8192}, 8192},
        {"one past a chunk", {8192, 1}, 16384},
        {"one piece spanning three chunks grows in one step", {20000}, 24576},
        {"an empty piece takes no room", {0}, 0},
        {"many small pieces", std::vector<std::size_t>(100, 100), 16384},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        cStringBuilder b;
        std::u16string expected;
        char16_t letter = u'a';
        for (std::size_t n : row.pieces) {
            b.Append(repeated(n, letter));
            expected += repeated(n, letter);
            letter = letter == u'z' ? u'a' : static_cast<char16_t>(letter + 1);
        }
        EXPECT_EQ(b.Capacity(), row.capacity);
        EXPECT_EQ(b.Length(), static_cast<std::int32_t>(expected.size()));
        EXPECT_TEXT(expected, b.toString());
    }
}

TEST(cStringBuilder, AppendVariants) {
    cStringBuilder b;
    b.AppendNL(u"one");
    b.AppendByVal(u"two");
    b.Append(u'!');
    EXPECT_TEXT(u"one\r\ntwo!", b.toString());
    EXPECT_EQ(b.Length(), 9);
}

TEST(cStringBuilder, AppendingItsOwnContent) {
    // The piece lives in the buffer that has to grow to take it.
    cStringBuilder b = builderWith(repeated(8192, u'a'));
    b.Append(b.view());
    EXPECT_EQ(b.Length(), 16384);
    EXPECT_TEXT(repeated(16384, u'a'), b.toString());
    b.Insert(1, b.view().substr(0, 3));
    EXPECT_TEXT(repeated(16387, u'a'), b.toString());
}

TEST(cStringBuilder, TheStringReplacesTheContent) {
    cStringBuilder b;
    b.TheString(u"abc");
    EXPECT_TEXT(u"abc", b.toString());
    EXPECT_EQ(b.Capacity(), 8192);

    b.TheString(repeated(20000, u'x'));
    EXPECT_EQ(b.Capacity(), 24576);
    EXPECT_EQ(b.Length(), 20000);

    b.TheString(u"short");  // a shorter text keeps the capacity
    EXPECT_TEXT(u"short", b.toString());
    EXPECT_EQ(b.Length(), 5);
    EXPECT_EQ(b.Capacity(), 24576);

    b.TheString(u"");  // an empty text gives the room back
    EXPECT_TEXT(u"", b.toString());
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Capacity(), 0);
    EXPECT_EQ(b.ChunkSize(), 8192);
}

TEST(cStringBuilder, ClearKeepsTheChunkSize) {
    cStringBuilder b;
    b.ChunkSize(100);
    b.Append(u"abc");
    b.Clear();
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Capacity(), 0);
    EXPECT_EQ(b.ChunkSize(), 100);
    EXPECT_TEXT(u"", b.toString());
}

TEST(cStringBuilder, ChunkSizeSetsTheGrowthStep) {
    cStringBuilder b;
    b.ChunkSize(100);
    b.Append(u"a");
    EXPECT_EQ(b.Capacity(), 100);
    b.Append(repeated(250, u'b'));
    EXPECT_EQ(b.Capacity(), 300);
    EXPECT_EQ(b.Length(), 251);

    b.ChunkSize(0x3FFFFFFF);  // the largest whose size in bytes still fits
    EXPECT_EQ(b.ChunkSize(), 0x3FFFFFFF);
}

TEST(cStringBuilder, ChunkSizeThatOverflowsIsRefusedAndKept) {
    cStringBuilder b;
    b.ChunkSize(100);
    EXPECT_EQ(test::failureKindOf([&] { b.ChunkSize(0x40000000); }), FailureKind::Overflow);
    EXPECT_EQ(test::failureKindOf([&] { b.ChunkSize(0x7FFFFFFF); }), FailureKind::Overflow);
    EXPECT_EQ(b.ChunkSize(), 100);
}

TEST(cStringBuilder, InsertBeforeAnOffset) {
    struct Row {
        const char* name;
        std::int32_t index;
        std::u16string_view piece;
        std::u16string_view result;
    };
    const Row rows[] = {
        {"at the start", 0, u"x", u"xabc"},
        {"in the middle", 1, u"XY", u"aXYbc"},
        {"at Length appends", 3, u"de", u"abcde"},
        {"an empty piece", 2, u"", u"abc"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        cStringBuilder b = builderWith(u"abc");
        b.Insert(row.index, row.piece);
        EXPECT_TEXT(row.result, b.toString());
        EXPECT_EQ(b.Length(), static_cast<std::int32_t>(row.result.size()));
        EXPECT_EQ(b.Capacity(), 8192);
    }
    cStringBuilder empty;
    empty.InsertByVal(0, u"first");
    EXPECT_TEXT(u"first", empty.toString());
}

TEST(cStringBuilder, InsertGrowsAFullBuffer) {
    cStringBuilder b = builderWith(repeated(8192, u'a'));
    b.Insert(8191, u"zz");
    EXPECT_EQ(b.Capacity(), 16384);
    EXPECT_TEXT(repeated(8191, u'a') + u"zz" + u"a", b.toString());
}

TEST(cStringBuilder, InsertBeyondTheContentIsSubscriptOutOfRange) {
    cStringBuilder b = builderWith(u"abc");
    EXPECT_EQ(test::failureKindOf([&] { b.Insert(4, u"x"); }), FailureKind::SubscriptOutOfRange);
    EXPECT_EQ(test::failureKindOf([&] { b.Insert(100000, u"x"); }),
              FailureKind::SubscriptOutOfRange);
    EXPECT_TEXT(u"abc", b.toString());
    EXPECT_EQ(b.Capacity(), 8192);

    cStringBuilder empty;
    EXPECT_EQ(test::failureKindOf([&] { empty.Insert(1, u"x"); }),
              FailureKind::SubscriptOutOfRange);
    EXPECT_EQ(empty.Capacity(), 0);
}

TEST(cStringBuilder, RemoveCharactersFromAnOffset) {
    struct Row {
        const char* name;
        std::int32_t index;
        std::int32_t count;
        std::u16string_view result;
    };
    const Row rows[] = {
        {"everything", 0, 6, u""},
        {"from the middle", 1, 2, u"adef"},
        {"the last character", 5, 1, u"abcde"},
        {"nothing at Length", 6, 0, u"abcdef"},
        {"nothing at the start", 0, 0, u"abcdef"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        cStringBuilder b = builderWith(u"abcdef");
        b.Remove(row.index, row.count);
        EXPECT_TEXT(row.result, b.toString());
        EXPECT_EQ(b.Length(), static_cast<std::int32_t>(row.result.size()));
        EXPECT_EQ(b.Capacity(), 8192);
    }
}

TEST(cStringBuilder, RemoveBeyondTheContentIsSubscriptOutOfRange) {
    struct Row {
        const char* name;
        std::int32_t index;
        std::int32_t count;
    };
    const Row rows[] = {
        {"Length characters from 1", 1, 6},
        {"one past the end", 5, 2},
        {"an index past the end", 7, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        cStringBuilder b = builderWith(u"abcdef");
        EXPECT_EQ(test::failureKindOf([&] { b.Remove(row.index, row.count); }),
                  FailureKind::SubscriptOutOfRange);
        EXPECT_TEXT(u"abcdef", b.toString());
    }
}

TEST(cStringBuilder, FindReportsOnlyMatchesBeginningBeforeTheLastCharacter) {
    struct Row {
        const char* name;
        std::u16string_view needle;
        std::int32_t start;
        int mode;
        std::int32_t position;
    };
    const Row rows[] = {
        {"a match at the last character is not reported", u"c", 1, 0, 0},
        {"a match in the middle", u"b", 1, 0, 2},
        {"ignoring case", u"B", 1, 1, 2},
        {"exact case", u"B", 1, 0, 0},
        {"the first character", u"a", 1, 0, 1},
        {"the whole content", u"abc", 1, 0, 1},
        {"from after the match", u"a", 2, 0, 0},
        {"start 0 searches from 1", u"b", 0, 0, 2},
        {"a negative start searches from 1", u"b", -5, 0, 2},
        {"a start beyond the buffer", u"b", 9000, 0, 0},
        {"a match running into the spare room's blanks", u"bc  ", 1, 0, 2},
        {"a blank beyond the content is not reported", u" ", 1, 0, 0},
        {"absent", u"x", 1, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        cStringBuilder b = builderWith(u"abc");
        EXPECT_EQ(b.Find(row.needle, row.start, row.mode), row.position);
    }
}

TEST(cStringBuilder, FindSeesWhatIsLeftInTheSpareRoom) {
    cStringBuilder removed = builderWith(u"abcdef");
    removed.Remove(3, 3);
    EXPECT_TEXT(u"abc", removed.toString());
    EXPECT_EQ(removed.Find(u"bcd", 1, 0), 2);
    EXPECT_EQ(removed.Find(u"d", 1, 0), 0);

    cStringBuilder replaced = builderWith(u"abcdef");
    replaced.TheString(u"xy");
    EXPECT_TEXT(u"xy", replaced.toString());
    EXPECT_EQ(replaced.Find(u"xycd", 1, 0), 1);

    cStringBuilder letters = builderWith(u"\u00C9t\u00C9!");
    EXPECT_EQ(letters.Find(u"\u00E9T", 1, 1), 1);
    EXPECT_EQ(letters.Find(u"\u00E9", 2, 1), 3);
}

TEST(cStringBuilder, HeapMinimizeLeavesAtMostOneChunkSpare) {
    struct Row {
        const char* name;
        std::size_t longText;  // given first, to grow the buffer
        std::size_t content;   // then the content
        std::int32_t capacityBefore;
        std::int32_t capacityAfter;
    };
    const Row rows[] = {
        {"10 characters in 40,960", 40960, 10, 40960, 8192},
        {"one chunk spare already", 1, 1, 8192, 8192},
        {"just over a chunk of content", 20000, 8193, 24576, 16384},
        {"a full buffer", 16384, 16384, 16384, 16384},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        cStringBuilder b;
        b.TheString(repeated(row.longText, u'x'));
        const std::u16string content = repeated(row.content, u'c');
        b.TheString(content);
        ASSERT_EQ(b.Capacity(), row.capacityBefore);
        b.HeapMinimize();
        EXPECT_EQ(b.Capacity(), row.capacityAfter);
        EXPECT_TEXT(content, b.toString());
        b.Append(u"!");  // still grows as before
        EXPECT_TEXT(content + u"!", b.toString());
    }

    cStringBuilder emptied = builderWith(repeated(16000, u'e'));
    emptied.Remove(0, emptied.Length());
    emptied.HeapMinimize();
    EXPECT_EQ(emptied.Capacity(), 8192);
    EXPECT_EQ(emptied.Length(), 0);
}

}  // namespace
}  // namespace mv::engine
