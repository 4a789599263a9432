#include "run/conversion_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "report/error_report.h"
#include "tests/run/fake_host.h"
#include "tests/support/test_support.h"

namespace mv::run {
namespace {

using test::FakeHost;
using test::readBytes;
using test::TempDir;
using test::u16;
using test::writeBytes;

const std::string kNoteXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<note>\r\n  <to>Tove</to>\r\n"
    "  <from>Jani</from>\r\n</note>\r\n";
const std::string kNoteJson =
    " { \r\n{\"note\":\"  toTove\"},\r\n{\"from\":\"Jani\"},\r\n{\"note\":\"\"}\r\n } ";
const std::string kPushButton7 = "in Tessaline2021/08/31.Form1.PushButton7_Click ";

class ConversionRunTest : public ::testing::Test {
protected:
    // Writes a source file in the temporary folder and lists it.
    std::filesystem::path addSource(const std::string& name, const std::string& bytes) {
        auto path = dir / name;
        writeBytes(path, bytes);
        host.rows.push_back(u16(path));
        return path;
    }
    void run() { conversion.PushButton7_Click(); }
    std::vector<std::string> reportedSteps() const { return report.steps(); }

    TempDir dir;
    FakeHost host;
    report::RecordingReport report;
    ConversionRun conversion{host, report};
};

TEST_F(ConversionRunTest, EmptyListSaysSoAndChangesNothing) {
    run();
    EXPECT_EQ(host.messages, std::vector<std::u16string>{u"No files added."});
    EXPECT_TRUE(host.pointers.empty());
    EXPECT_TRUE(host.progressValues.empty());
    EXPECT_FALSE(conversion.IsConverting());
}

TEST_F(ConversionRunTest, FirstOptionNeedsAnExistingFolder) {
    auto source = addSource("a.xml", kNoteXml);
    writeBytes(dir / "not-a-folder", "x");
    host.firstOption = true;
    host.secondOption = false;
    for (auto folder : {u16(dir / "missing"), u16(dir / "not-a-folder"), std::u16string()}) {
        host.messages.clear();
        host.folder = folder;
        run();
        EXPECT_EQ(host.messages, std::vector<std::u16string>{
                                     u"Folder does not exist. Please select another folder."});
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "a.json"));
    EXPECT_EQ(report.size(), 0u);
}

TEST_F(ConversionRunTest, SecondOptionIgnoresTheFolderBox) {
    addSource("a.xml", kNoteXml);
    host.folder = u"/no/such/folder";
    run();
    EXPECT_EQ(readBytes(dir / "a.json"), kNoteJson);
    EXPECT_EQ(host.messages, std::vector<std::u16string>{u"Done."});
}

TEST(OutputPath, FollowsTheOptions) {
    struct Row {
        std::u16string_view source;
        bool option1, option2;
        std::u16string_view folder, expected;
    } rows[] = {
        {u"/data/report.final.xml", true, false, u"/out/", u"/out/report.final.json"},
        {u"/data/report.final.xml", true, false, u"/out", u"/out/report.final.json"},
        {u"/data/report.final.xml", false, true, u"/out/", u"/data/report.final.json"},
        {u"/data/.xml", false, true, u"", u"/data/.xml.json"},
        {u"/data/noext", false, true, u"", u"/data/noext.json"},
        {u"/data/a.json", false, true, u"", u"/data/a.json"},
        {u"/data/a.xml", false, false, u"/out", u"a.json"},
        {u"/a.xml", false, true, u"", u"/a.json"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(test::printable(row.source));
        EXPECT_TEXT(row.expected,
                    ConversionRun::outputPathFor(row.source, row.option1, row.option2, row.folder));
    }
}

TEST_F(ConversionRunTest, ConvertsIntoTheChosenFolderAndShowsProgress) {
    std::filesystem::create_directory(dir / "out");
    addSource("note.xml", kNoteXml);
    host.firstOption = true;
    host.secondOption = false;
    host.folder = u16(dir / "out") + u"/";
    run();
    EXPECT_EQ(readBytes(dir / "out" / "note.json"), kNoteJson);
    EXPECT_FALSE(std::filesystem::exists(dir / "note.json"));
    EXPECT_EQ(host.progressValues, (std::vector<double>{100, 100, 0}));
    EXPECT_EQ(host.progressTexts,
              (std::vector<std::u16string>{u"Processing: note.xml", u"Progress Bar"}));
    EXPECT_EQ(host.pointers, (std::vector<Pointer>{Pointer::Hourglass, Pointer::Default}));
    EXPECT_EQ(host.messages, std::vector<std::u16string>{u"Done."});
    EXPECT_EQ(report.size(), 0u);
    EXPECT_FALSE(conversion.IsConverting());
}

TEST_F(ConversionRunTest, ChunksFollowEachOtherInTheResult) {
    // 70,000 characters: two chunks, whose JSON texts are written back to back.
    std::string records;
    while (records.size() < 70000) records += "<v>12345678</v>";
    records.resize(70000);
    addSource("big.xml", records);
    run();
    std::string json = readBytes(dir / "big.json");
    EXPECT_EQ(json.rfind(" { \r\n", 0), 0u);
    auto joint = json.find(" }  { \r\n");
    ASSERT_NE(joint, std::string::npos);
    EXPECT_EQ(json.find(" } ", joint + 3), json.size() - 3);
    EXPECT_EQ(host.progressValues, (std::vector<double>{100, 50, 100, 0}));
}

// The outcome says what the message box said, for callers that act on it.
TEST_F(ConversionRunTest, OutcomeMatchesTheMessageShown) {
    std::filesystem::create_directory(dir / "out");
    writeBytes(dir / "a.xml", kNoteXml);
    host.firstOption = true;
    host.secondOption = false;
    const struct {
        bool listed;
        std::u16string folder;
        RunOutcome outcome;
        std::u16string_view message;
    } rows[] = {
        {false, u16(dir / "out"), RunOutcome::NoFiles, kNoFilesAdded},
        {true, u16(dir / "missing"), RunOutcome::FolderMissing, kFolderMissing},
        {true, u16(dir / "out"), RunOutcome::Converted, kDone},
    };
    for (const auto& row : rows) {
        host.rows.assign(row.listed ? 1 : 0, u16(dir / "a.xml"));
        host.folder = row.folder;
        host.messages.clear();
        EXPECT_EQ(conversion.PushButton7_Click(), row.outcome);
        EXPECT_EQ(host.messages, std::vector<std::u16string>{std::u16string(row.message)});
    }
}

// The folder box is read for the row whose result is worked out (0 for the
// test before the first file), and each chunk written is told by its number.
TEST_F(ConversionRunTest, HostHearsTheRowAndTheChunk) {
    std::string records;
    while (records.size() < 70000) records += "<v>12345678</v>";
    addSource("big.xml", records);
    addSource("a.xml", kNoteXml);
    run();
    EXPECT_EQ(host.folderRows, (std::vector<std::int64_t>{0, 1, 2}));
    EXPECT_EQ(host.chunks, (std::vector<std::int64_t>{1, 2, 1}));
}

// broke: every later chunk was cut after the end tag of whatever element
// opened it, so a chunk starting on a record kept that one record.
TEST_F(ConversionRunTest, LaterChunksKeepEveryRecordUpToTheRootsEndTag) {
    // Records of 16 characters after a header padded to a multiple of 16, so
    // that every chunk boundary falls between two records: each later chunk
    // opens on "<r>".
    std::string head = "<?xml version=\"1.0\"?>\r\n<records>";
    head.append(16 - head.size() % 16, ' ');
    auto record = [](int n) {
        char text[20];
        std::snprintf(text, sizeof text, "<r>%09d</r>", n);
        return std::string(text);
    };
    struct Row {
        const char* name;
        std::string stray;  // placed in the middle of the second chunk
    } rows[] = {
        {"records only", ""},
        {"a stray declaration and DOCTYPE", "<?xml version=\"1.0\"?><!DOCTYPE records>         "},
        {"a stray start tag of the root", "<records a=\"1\"> "},
    };
    const int count = 10000;  // three chunks
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(row.stray.size() % 16, 0u);
        std::string source = head;
        for (int n = 1; n <= count; ++n) {
            source += record(n);
            if (n == 5000) source += row.stray;
        }
        source += "</records>\r\n<after>dropped</after>";
        ASSERT_EQ(source.compare(2 * 65536, 3, "<r>"), 0);
        host.rows.clear();
        addSource("records.xml", source);
        run();
        std::string json = readBytes(dir / "records.json");
        std::vector<int> numbers;  // every run of nine digits, in order
        for (std::size_t at = 0; at < json.size();) {
            std::size_t end = json.find_first_not_of("0123456789", at);
            if (end == std::string::npos) end = json.size();
            if (end - at == 9) numbers.push_back(std::stoi(json.substr(at, 9)));
            at = std::max(end, at) + 1;
        }
        ASSERT_EQ(numbers.size(), static_cast<std::size_t>(count));
        for (int n = 1; n <= count; ++n) ASSERT_EQ(numbers[n - 1], n);
        EXPECT_EQ(json.find("dropped"), std::string::npos);
        const std::string end = "{\"records\":\"\"}\r\n } ";
        EXPECT_EQ(json.substr(json.size() - end.size()), end);
    }
}

TEST_F(ConversionRunTest, ProgressCountsFilesBegunThenChunksDone) {
    addSource("a.xml", kNoteXml);
    addSource("b.xml", kNoteXml);
    addSource("c.xml", kNoteXml);
    addSource("d.xml", kNoteXml);
    run();
    EXPECT_EQ(host.progressValues, (std::vector<double>{25, 100, 50, 100, 75, 100, 100, 100, 0}));
}

TEST_F(ConversionRunTest, SecondPressDuringARunIsIgnored) {
    addSource("a.xml", kNoteXml);
    addSource("b.xml", kNoteXml);
    int presses = 0;
    host.onYield = [&] {
        if (presses++ == 0) {
            EXPECT_TRUE(conversion.IsConverting());
            EXPECT_EQ(conversion.PushButton7_Click(), RunOutcome::AlreadyRunning);
        }
    };
    run();
    EXPECT_EQ(host.messages, std::vector<std::u16string>{u"Done."});
    EXPECT_EQ(readBytes(dir / "b.json"), kNoteJson);
    EXPECT_FALSE(conversion.IsConverting());
}

TEST_F(ConversionRunTest, OptionsChangedDuringARunApplyToLaterFiles) {
    std::filesystem::create_directory(dir / "out");
    addSource("a.xml", kNoteXml);
    addSource("b.xml", kNoteXml);
    host.folder = u16(dir / "out");
    host.onYield = [&] {
        host.firstOption = true;
        host.secondOption = false;
    };
    run();
    // The first yield comes before the first file's output path is worked out.
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "a.json"));
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "b.json"));
}

TEST_F(ConversionRunTest, EmptySourceGivesAnEmptyResultAndOneReport) {
    addSource("empty.xml", "");
    run();
    EXPECT_TRUE(std::filesystem::exists(dir / "empty.json"));
    EXPECT_EQ(readBytes(dir / "empty.json"), "");
    EXPECT_EQ(reportedSteps(), std::vector<std::string>{kPushButton7 + "@160"});
    EXPECT_EQ(host.messages, std::vector<std::u16string>{u"Done."});
}

TEST_F(ConversionRunTest, ResultThatCannotBeCreatedIsReportedPerStepAndTheRunGoesOn) {
    std::string twoChunks(70000, 'x');
    addSource("a.xml", "<a>" + twoChunks + "</a>");
    addSource("b.xml", kNoteXml);
    std::filesystem::create_directory(dir / "a.json");  // a folder stands where the result goes
    run();
    EXPECT_EQ(reportedSteps(),
              (std::vector<std::string>{kPushButton7 + "@158", kPushButton7 + "@178",
                                        kPushButton7 + "@178", kPushButton7 + "@182"}));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a.json"));
    EXPECT_EQ(readBytes(dir / "b.json"), kNoteJson);
    EXPECT_EQ(host.messages, std::vector<std::u16string>{u"Done."});
}

TEST_F(ConversionRunTest, SourceConvertedOntoItselfIsReadBeforeItIsReplaced) {
    auto source = addSource("self.json", kNoteXml);
    run();
    EXPECT_EQ(readBytes(source), kNoteJson);
    EXPECT_EQ(report.size(), 0u);
}

TEST_F(ConversionRunTest, ReplacingAResultKeepsItsModeAndLeavesNoTemporaryFiles) {
    addSource("a.xml", kNoteXml);
    writeBytes(dir / "a.json", "old result");
    std::filesystem::permissions(dir / "a.json", std::filesystem::perms(0640));
    run();
    EXPECT_EQ(readBytes(dir / "a.json"), kNoteJson);
    EXPECT_EQ(std::filesystem::status(dir / "a.json").permissions(), std::filesystem::perms(0640));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 2);
}

TEST_F(ConversionRunTest, NotXmlAndNullResults) {
    struct Row {
        const char* name;
        std::string source;
        std::string expected;
    } rows[] = {
        {"plain text without a declaration", "just words\r\n", "May be not a valid XML file."},
        {"declaration but nothing to flatten", "<?xml version=\"1.0\"?>", "null"},
        {"declaration on the second line", "\r\n<?xml version=\"1.0\"?>",
         "May be not a valid XML file."},
        {"tags without a declaration", "<a>1</a>", " { \r\n{\"a\":\"1\"},\r\n{}\r\n } "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        host.rows.clear();
        addSource("s.xml", row.source);
        run();
        EXPECT_EQ(readBytes(dir / "s.json"), row.expected);
    }
}

TEST_F(ConversionRunTest, ChunkWhoseStrippingFailsIsFlattenedAsItStands) {
    // The first file leaves flattened text behind; the second file's only
    // chunk has a declaration without ">", so stripping it fails.
    addSource("a.xml", "<first>one</first>");
    addSource("b.xml", "<b>two</b><?xml version=\"1.0\"");
    run();
    EXPECT_EQ(readBytes(dir / "b.json"), " { \r\n{\"b\":\"two\"},\r\n{}\r\n } ");
    auto steps = reportedSteps();
    EXPECT_NE(std::find(steps.begin(), steps.end(), kPushButton7 + "@168"), steps.end());
}

TEST_F(ConversionRunTest, RowRemovedDuringTheRunIsReportedNotConvertedTwice) {
    addSource("a.xml", "<a>first</a>");
    addSource("b.xml", "<b>second</b>");
    bool removed = false;
    host.onYield = [&] {
        if (!removed) host.rows.pop_back();
        removed = true;
    };
    run();
    EXPECT_EQ(reportedSteps(), std::vector<std::string>{kPushButton7 + "@118"});
    EXPECT_TRUE(std::filesystem::exists(dir / "a.json"));
    EXPECT_FALSE(std::filesystem::exists(dir / "b.json"));
    EXPECT_EQ(host.messages, std::vector<std::u16string>{u"Done."});
}

TEST_F(ConversionRunTest, MissingSourceIsReportedAndTheRunFinishes) {
    host.rows.push_back(u16(dir / "gone.xml"));
    addSource("b.xml", kNoteXml);
    run();
    EXPECT_GT(report.size(), 0u);
    EXPECT_EQ(readBytes(dir / "b.json"), kNoteJson);
    EXPECT_EQ(host.messages, std::vector<std::u16string>{u"Done."});
}

// A vanished source used to empty its old result; now the result stays whole.
// An empty source still empties it: that is its conversion.
TEST_F(ConversionRunTest, UnreadableSourceNeverReplacesAnExistingResult) {
    writeBytes(dir / "gone.json", "old result");
    host.rows.push_back(u16(dir / "gone.xml"));
    host.rows.push_back(u16(dir / "never.xml"));
    writeBytes(dir / "empty.json", "old result");
    addSource("empty.xml", "");
    run();
    EXPECT_EQ(readBytes(dir / "gone.json"), "old result");
    EXPECT_TRUE(std::filesystem::exists(dir / "never.json"));
    EXPECT_EQ(readBytes(dir / "never.json"), "");
    EXPECT_EQ(readBytes(dir / "empty.json"), "");
    EXPECT_EQ(host.messages, std::vector<std::u16string>{u"Done."});
}

// broke: a source cut short or grown while it was read gave a partial result
// and no report.
TEST_F(ConversionRunTest, SourceThatChangesWhileReadPublishesNothing) {
    struct Row {
        const char* name;
        std::function<void(const std::filesystem::path&)> change;
        std::size_t size = 140000;
    } rows[] = {
        {"grown", [](const auto& path) { std::ofstream(path, std::ios::app) << "<more/>"; }},
        {"cut short", [](const auto& path) { std::filesystem::resize_file(path, 70000); }},
        // A small file is read whole at once, its end known from its size.
        {"small, grown after it was read",
         [](const auto& path) { std::ofstream(path, std::ios::app) << "<more/>"; }, 3000},
        {"small, cut short after it was read",
         [](const auto& path) { std::filesystem::resize_file(path, 1000); }, 3000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        host.rows.clear();
        auto source = addSource("moving.xml", "<a>" + std::string(row.size, 'x') + "</a>");
        writeBytes(dir / "moving.json", "old result");
        int yields = 0;
        host.onYield = [&] {
            if (++yields == 2) row.change(source);  // while the first chunk is converted
        };
        run();
        EXPECT_EQ(readBytes(dir / "moving.json"), "old result");
        auto entries = report.entries();
        ASSERT_GE(entries.size(), 2u);
        EXPECT_NE(entries[entries.size() - 2].description.find("File changed while it was read"),
                  std::string::npos);
        EXPECT_EQ(report.steps().back(), kPushButton7 + "@182");
    }
}

// broke: a path beyond the path helpers' limits put the result in the current
// folder under its bare name.
TEST_F(ConversionRunTest, ResultPathThatCannotBeWorkedOutIsNeverWritten) {
    addSource("a.xml", kNoteXml);
    std::u16string deep = u16(dir.path());
    while (deep.size() < 33000) deep += u"/d";
    host.rows.push_back(deep + u"/x.xml");
    run();
    EXPECT_EQ(readBytes(dir / "a.json"), kNoteJson);
    EXPECT_FALSE(std::filesystem::exists("x.json"));
    auto steps = reportedSteps();
    EXPECT_NE(std::find(steps.begin(), steps.end(), kPushButton7 + "@150"), steps.end());
    EXPECT_NE(std::find(steps.begin(), steps.end(), kPushButton7 + "@158"), steps.end());
}

TEST_F(ConversionRunTest, FifoIsNotOpenedAndDoesNotHang) {
    ASSERT_EQ(mkfifo((dir / "pipe.xml").c_str(), 0600), 0);
    host.rows.push_back(u16(dir / "pipe.xml"));
    run();
    bool namesTheFile = false;
    for (const auto& entry : report.entries()) {
        namesTheFile =
            namesTheFile || entry.description.find("Not a regular file") != std::string::npos;
    }
    EXPECT_TRUE(namesTheFile);
    EXPECT_EQ(host.messages, std::vector<std::u16string>{u"Done."});
}

}  // namespace
}  // namespace mv::run
