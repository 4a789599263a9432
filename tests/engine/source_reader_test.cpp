#include "engine/source_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/prolog.h"
#include "report/error_report.h"
#include "report/failure.h"
#include "report/locations.h"
#include "tests/engine/windows1252.h"
#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

using report::FailureKind;
using report::RecordingReport;
namespace locations = report::locations;

// A fresh folder to put source files in.
struct Folder {
    test::TempDir dir;
    std::u16string file(const std::string& name, std::string_view bytes) {
        test::writeBytes(dir / name, bytes);
        return test::u16(dir / name);
    }
};

// Bytes 'a' to 'z' over and over: a chunk read from the wrong offset shows.
std::string letters(std::size_t count) {
    std::string bytes(count, ' ');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

std::u16string widened(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::int16_t declarationAnswer(std::u16string_view path) {
    RecordingReport report;
    std::int16_t answer = CheckFirsrStringFSO(path, kNo, kYes, report).raw;
    EXPECT_EQ(report.size(), 0u);
    return answer;
}

std::int16_t encodingAnswer(std::u16string_view path) {
    RecordingReport report;
    std::int16_t answer = CheckFirsrStringFSO(path, kYes, kNo, report).raw;
    EXPECT_EQ(report.size(), 0u);
    return answer;
}

ChunkList chunksOf(std::u16string_view path) {
    RecordingReport report;
    ChunkList chunks = ReadFileToStringFSO(path, report);
    EXPECT_EQ(report.size(), 0u);
    return chunks;
}

std::vector<std::size_t> sizesOf(const ChunkList& chunks) {
    std::vector<std::size_t> sizes;
    for (const auto& chunk : chunks) sizes.push_back(chunk.size());
    return sizes;
}

struct FirstLineRow {
    const char* name;
    std::string bytes;
    std::int16_t answer;
};

TEST(CheckFirsrStringFSO, DoesTheFirstLineLackTheDeclaration) {
    const std::u16string utf16Declared =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r>\u4E2D</r>";
    const FirstLineRow rows[] = {
        {"declaration on the first line", "<?xml version=\"1.0\"?>\r\n<r/>", 0},
        {"no declaration", "<r/>\r\n<v/>", -1},
        {"declaration in capitals", "<?XML VERSION=\"1.0\"?>\n<r/>", 0},
        {"the mark alone is enough", "<!-- xml version -->", 0},
        {"empty first line, CR LF", "\r\n<?xml version=\"1.0\"?>", -1},
        {"empty first line, LF", "\n<?xml version=\"1.0\"?>", -1},
        {"empty first line, CR", "\r<?xml version=\"1.0\"?>", -1},
        {"CR alone ends the first line", "<r>\r<?xml version=\"1.0\"?>", -1},
        {"CR LF ends the first line", "<r>\r\n<?xml version=\"1.0\"?>", -1},
        {"LF ends the first line", "<r>\n<?xml version=\"1.0\"?>", -1},
        {"declaration without a line break", "<?xml version=\"1.0\"?><r/>", 0},
        {"empty file: no line at all", "", 0},
        {"one byte: the UTF-16 reading finds no line", "x", 0},
        {"UTF-16 with byte-order mark, declared", test::utf16Bytes(utf16Declared, true), 0},
        {"UTF-16 without byte-order mark, declared", test::utf16Bytes(utf16Declared, false), 0},
        {"UTF-16 without declaration", test::utf16Bytes(u"<r>\r\n</r>", true), -1},
    };
    Folder folder;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(declarationAnswer(folder.file("a.xml", row.bytes)), row.answer);
    }
}

TEST(CheckFirsrStringFSO, ALongFirstLineIsSearchedToItsEnd) {
    // The mark after the first 65,536 characters and straddling that point.
    Folder folder;
    for (std::size_t before : {65520u, 65525u, 65530u, 65535u, 65536u, 66000u, 70000u}) {
        SCOPED_TRACE(testing::Message() << before << " characters before the mark");
        const std::string line = std::string(before, 'a') + "xml version" + std::string(5000, 'b');
        EXPECT_EQ(declarationAnswer(folder.file("long.xml", line + "\r\n<r/>")), 0);

        const std::u16string utf16Line =
            std::u16string(before, u'a') + u"encoding=\"utf-16\"" + std::u16string(5000, u'b');
        EXPECT_EQ(
            encodingAnswer(folder.file("long16.xml", test::utf16Bytes(utf16Line + u"\r\n", true))),
            -1);
    }
    EXPECT_EQ(declarationAnswer(folder.file("none.xml", std::string(70001, 'a'))), -1);
    EXPECT_EQ(declarationAnswer(folder.file(
                  "second.xml", std::string(70000, 'a') + "\r\n<?xml version=\"1.0\"?>")),
              -1);
}

TEST(CheckFirsrStringFSO, DoesTheFirstLineReadAsUtf16DeclareUtf16OrUtf32) {
    const FirstLineRow rows[] = {
        {"utf-16 in capitals, byte-order mark",
         test::utf16Bytes(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r/>", true), -1},
        {"utf-32", test::utf16Bytes(u"<?xml version=\"1.0\" encoding=\"utf-32\"?>", true), -1},
        {"no byte-order mark",
         test::utf16Bytes(u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<r/>", false), -1},
        {"mixed case", test::utf16Bytes(u"<?xml encoding=\"Utf-16\"?>", true), -1},
        {"utf-8 declared", test::utf16Bytes(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", true),
         0},
        {"single quotes are not the mark",
         test::utf16Bytes(u"<?xml version=\"1.0\" encoding='utf-16'?>", true), 0},
        {"the mark on the second line",
         test::utf16Bytes(u"<?xml version=\"1.0\"\r\nencoding=\"utf-16\"?>", true), 0},
        {"the mark on the second line after CR alone",
         test::utf16Bytes(u"<?xml version=\"1.0\"\rencoding=\"utf-16\"?>", true), 0},
        {"the declaration in an ANSI file",
         "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r>\xE9</r>", 0},
        {"empty file", "", 0},
        {"byte-order mark only", "\xFF\xFE", 0},
    };
    Folder folder;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(encodingAnswer(folder.file("a.xml", row.bytes)), row.answer);
    }
}

TEST(ReadFileToStringFSO, ChunksOf65536Characters) {
    struct Row {
        const char* name;
        std::size_t bytes;
        std::vector<std::size_t> sizes;
    };
    const Row rows[] = {
        {"empty file: no chunk", 0, {}},
        {"one character", 1, {1}},
        {"exactly one chunk", 65536, {65536}},
        {"one character more: a second chunk of one", 65537, {65536, 1}},
        {"exactly two chunks", 131072, {65536, 65536}},
        {"three chunks", 131073, {65536, 65536, 1}},
    };
    Folder folder;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string bytes = letters(row.bytes);
        const ChunkList chunks = chunksOf(folder.file("a.xml", bytes));
        ASSERT_EQ(sizesOf(chunks), row.sizes);
        std::u16string joined;
        for (const auto& chunk : chunks) joined += chunk;
        EXPECT_TEXT(widened(bytes), joined);
    }
}

TEST(ReadFileToStringFSO, AChunkBoundaryMayCutATag) {
    Folder folder;
    const ChunkList chunks =
        chunksOf(folder.file("cut.xml", std::string(65533, 'x') + "<note>t</note>"));
    ASSERT_EQ(sizesOf(chunks), (std::vector<std::size_t>{65536, 11}));
    EXPECT_TEXT(u"<no", std::u16string_view(chunks[0]).substr(65533));
    EXPECT_TEXT(u"te>t</note>", chunks[1]);
    // The second chunk's first tag is the end tag.
    RecordingReport report;
    EXPECT_TEXT(u"/note", SetMainXMLTag(chunks[1], report));
}

TEST(ReadFileToStringFSO, Utf16ChunksCountCharactersNotBytes) {
    const std::u16string declaration = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n";
    std::u16string text = declaration + std::u16string(65536 - declaration.size(), u'\u4E2D');
    text += u"\u00E9";  // character 65,537
    Folder folder;
    const ChunkList chunks = chunksOf(folder.file("wide.xml", test::utf16Bytes(text, true)));
    ASSERT_EQ(sizesOf(chunks), (std::vector<std::size_t>{65536, 1}));
    EXPECT_TEXT(std::u16string_view(text).substr(0, 65536), chunks[0]);
    EXPECT_TEXT(u"\u00E9", chunks[1]);

    // An odd last byte is dropped, so it makes no chunk of its own.
    const ChunkList odd = chunksOf(
        folder.file("odd.xml", test::utf16Bytes(text.substr(0, 65536), true) + std::string("A")));
    ASSERT_EQ(sizesOf(odd), (std::vector<std::size_t>{65536}));
    EXPECT_TEXT(std::u16string_view(text).substr(0, 65536), odd[0]);
}

std::string allBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    return bytes;
}

TEST(ReadFileToStringFSO, DecodingChosenByTheFirstLine) {
    const std::u16string declared =
        u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<r>\u4E2D\u00E9</r>";
    const std::string ansiDeclared =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r>\xE9\x80</r>";
    const std::string undeclared = test::utf16Bytes(u"<r>\u00E9</r>", true);
    struct Row {
        const char* name;
        std::string bytes;
        std::u16string text;
    };
    const Row rows[] = {
        {"UTF-16 with byte-order mark", test::utf16Bytes(declared, true), declared},
        {"UTF-16 without byte-order mark", test::utf16Bytes(declared, false), declared},
        {"UTF-16 with an odd last byte", test::utf16Bytes(declared, true) + "\x41", declared},
        {"declared UTF-32 is read as UTF-16",
         test::utf16Bytes(u"<?xml encoding=\"UTF-32\"?><r>\u4E2D</r>", true),
         u"<?xml encoding=\"UTF-32\"?><r>\u4E2D</r>"},
        {"the UTF-16 declaration in an ANSI file", ansiDeclared,
         u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r>\u00E9\u20AC</r>"},
        {"UTF-16 without the declaration is read as ANSI", undeclared,
         test::windows1252(undeclared)},
        {"UTF-8 is read byte by byte", "<r>caf\xC3\xA9</r>", u"<r>caf\u00C3\u00A9</r>"},
        {"line breaks stay as they are", "a\r\nb\rc\nd\n\r", u"a\r\nb\rc\nd\n\r"},
        {"every byte as its Windows-1252 character", allBytes(), test::windows1252(allBytes())},
    };
    Folder folder;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ChunkList chunks = chunksOf(folder.file("a.xml", row.bytes));
        ASSERT_EQ(chunks.size(), 1u);
        EXPECT_TEXT(row.text, chunks[0]);
    }
}

TEST(ReadFileToStringFSO, HighBytesReadAsWindows1252) {
    std::string bytes;
    for (int b = 0x80; b <= 0xFF; ++b) bytes += static_cast<char>(b);
    Folder folder;
    const ChunkList chunks = chunksOf(folder.file("high.xml", bytes));
    ASSERT_EQ(chunks.size(), 1u);
    ASSERT_EQ(chunks[0].size(), 128u);
    EXPECT_EQ(int{chunks[0][0x00]}, 0x20AC);  // 80: euro sign
    EXPECT_EQ(int{chunks[0][0x01]}, 0x0081);  // 81: undefined, kept
    EXPECT_EQ(int{chunks[0][0x0A]}, 0x0160);  // 8A: S caron
    EXPECT_EQ(int{chunks[0][0x1D]}, 0x009D);  // 9D: undefined, kept
    EXPECT_EQ(int{chunks[0][0x1F]}, 0x0178);  // 9F: Y diaeresis
    EXPECT_EQ(int{chunks[0][0x20]}, 0x00A0);  // A0: no-break space
    EXPECT_EQ(int{chunks[0][0x69]}, 0x00E9);  // E9: e acute
    EXPECT_EQ(int{chunks[0][0x7F]}, 0x00FF);  // FF: y diaeresis
    EXPECT_TEXT(test::windows1252(bytes), chunks[0]);
}

std::vector<std::string> stepsAt(const report::Location& where, std::initializer_list<int> steps) {
    std::vector<std::string> out;
    for (int step : steps) out.push_back(where.text() + "@" + std::to_string(step));
    return out;
}

// Every step that uses the file or its stream, in both readings of the first line.
std::vector<std::string> firstLineFailures() {
    return stepsAt(locations::kCheckFirsrStringFSO, {102, 104, 110, 114, 136, 144, 148, 152, 174});
}

std::vector<std::string> fullReadingFailures() {
    std::vector<std::string> steps = stepsAt(locations::kReadFileToStringFSO, {102});
    for (const auto& s : firstLineFailures()) steps.push_back(s);
    steps.push_back(stepsAt(locations::kReadFileToStringFSO, {106})[0]);
    return steps;
}

TEST(SourceReader, AFileThatCannotBeOpenedIsReportedStepByStep) {
    struct Row {
        const char* name;
        std::string relative;
        FailureKind first;
    };
    const Row rows[] = {
        {"a missing file", "missing.xml", FailureKind::FileNotFound},
        {"a folder", "folder", FailureKind::FileNotFound},
        {"a path under a regular file", "plain.xml/a.xml", FailureKind::PathNotFound},
    };
    Folder folder;
    std::filesystem::create_directory(folder.dir / "folder");
    folder.file("plain.xml", "<r/>");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = test::u16(folder.dir / row.relative);

        RecordingReport declaration;
        EXPECT_EQ(CheckFirsrStringFSO(path, kNo, kYes, declaration).raw, -1);
        EXPECT_EQ(declaration.steps(), firstLineFailures());
        ASSERT_GT(declaration.size(), 0u);
        EXPECT_EQ(declaration.entries()[0].description.rfind(report::describe(row.first), 0), 0u)
            << declaration.entries()[0].description;

        RecordingReport encoding;
        EXPECT_EQ(CheckFirsrStringFSO(path, kYes, kNo, encoding).raw, 0);
        EXPECT_EQ(encoding.steps(), firstLineFailures());

        RecordingReport reading;
        EXPECT_TRUE(ReadFileToStringFSO(path, reading).empty());
        EXPECT_EQ(reading.steps(), fullReadingFailures());
    }
}

// Runs the call on another thread. Should it wait on the pipe for a writer,
// a writer that opens and closes the pipe lets it see the end, so the test
// fails instead of hanging.
template <class Call>
auto withoutWaitingOn(const std::filesystem::path& fifo, Call call) {
    auto result = std::async(std::launch::async, call);
    bool waited = false;
    std::chrono::milliseconds patience = std::chrono::seconds(5);
    while (result.wait_for(patience) != std::future_status::ready) {
        waited = true;
        patience = std::chrono::milliseconds(100);
        int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    EXPECT_FALSE(waited) << "the reader waited for a writer on the FIFO";
    return result.get();
}

TEST(SourceReader, AFifoIsReportedNotWaitedFor) {
    Folder folder;
    const std::filesystem::path fifo = folder.dir / "pipe.xml";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::u16string path = test::u16(fifo);

    RecordingReport declaration;
    const Flag16 answer =
        withoutWaitingOn(fifo, [&] { return CheckFirsrStringFSO(path, kNo, kYes, declaration); });
    EXPECT_EQ(answer.raw, -1);
    EXPECT_EQ(declaration.steps(), firstLineFailures());
    ASSERT_GT(declaration.size(), 0u);
    const std::string notRegular = report::describe(FailureKind::NotARegularFile);
    EXPECT_EQ(declaration.entries()[0].description.rfind(notRegular, 0), 0u)
        << declaration.entries()[0].description;

    RecordingReport reading;
    const ChunkList chunks =
        withoutWaitingOn(fifo, [&] { return ReadFileToStringFSO(path, reading); });
    EXPECT_TRUE(chunks.empty());
    EXPECT_EQ(reading.steps(), fullReadingFailures());
}

TEST(ChunkReader, GivesTheSameChunksOneAtATime) {
    Folder folder;
    struct Row {
        const char* name;
        std::string bytes;
        std::int64_t expected;
    };
    const std::u16string wide =
        u"<?xml encoding=\"utf-16\"?>" + std::u16string(65537 - 25, u'\u00E9');
    const Row rows[] = {
        {"ANSI", letters(65537), 2},
        {"UTF-16 without counting the byte-order mark", test::utf16Bytes(wide, true), 2},
        {"empty", "", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = folder.file("a.xml", row.bytes);
        RecordingReport report;
        ChunkReader reader(path, report);
        EXPECT_EQ(reader.expectedChunks(), row.expected);
        ChunkList streamed;
        std::u16string chunk;
        while (reader.next(chunk)) streamed.push_back(chunk);
        reader.close();
        EXPECT_EQ(streamed, chunksOf(path));
        EXPECT_EQ(static_cast<std::int64_t>(streamed.size()), row.expected);
        EXPECT_EQ(report.size(), 0u);
    }
}

}  // namespace
}  // namespace mv::engine
