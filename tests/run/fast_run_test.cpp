#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "report/error_report.h"
#include "run/conversion_run.h"
#include "tests/run/fake_host.h"
#include "tests/support/test_support.h"

namespace mv::run {
namespace {

using test::readBytes;
using test::TempDir;
using test::u16;
using test::writeBytes;

const std::string_view kPieces[] = {
    "<?xml version=\"1.0\"?>",
    "<?XML VERSION=\"1.0\"",
    "<?xml:ns?>",
    "<!DOCTYPE r>",
    "<!doctype",
    "<r>",
    "</r>",
    "<R>",
    "</R",
    "<r ",
    "<r a=\"1\">",
    "<v>",
    "</v>",
    "<",
    ">",
    "/",
    "~",
    "|",
    "\r\n",
    "\"",
    "'",
    "\\",
    "{",
    "}",
    "?",
    "\xC9\xE9\x80\xFF",
    "text ",
    "</",
    "<!-- c -->",
};

// Sources of one to three chunks, and one of a hundred, whose marks fall on and around the chunk
// boundaries, as ANSI text and as UTF-16.
std::vector<std::string> generatedSources() {
    std::mt19937 random(77);
    auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    std::vector<std::string> sources;
    for (int i = 0; i < 120; ++i) {
        const bool utf16 = i % 4 == 3;
        std::string text = i % 3 == 0 ? "<?xml version=\"1.0\"?>\r\n<r>" : "";
        const std::size_t size = 65536 * (1 + below(2)) + below(64);
        while (text.size() < size) {
            if (below(4) == 0) {
                text += static_cast<char>(below(256));
            } else {
                text += kPieces[below(std::size(kPieces))];
            }
        }
        // A mark across the boundary between the first two chunks.
        std::string_view mark = kPieces[below(std::size(kPieces))];
        text.replace(65536 - below(mark.size() + 1), mark.size(), mark);
        if (!utf16) {
            sources.push_back(text);
            continue;
        }
        std::u16string wide = u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n";
        for (unsigned char c : text) wide += below(50) == 0 ? u'\u4E00' : static_cast<char16_t>(c);
        sources.push_back(test::utf16Bytes(wide, below(2) == 0));
    }
    // A first line read as UTF-16 that declares UTF-16 only after 70,000
    // characters, or across the first chunk boundary: the file is read again.
    for (std::size_t before : {70000u, 32760u, 32765u}) {
        std::u16string wide(before, u'a');
        wide += u"<r encoding=\"utf-16\"><v>1</v></r>\r\n<v>2</v>";
        sources.push_back(test::utf16Bytes(wide, false));
    }
    // A UTF-16 first line whose "xml version" comes after the first chunk, in a
    // file read as ANSI text whose chunks flatten to nothing: the note they get
    // is known only at the end.
    sources.push_back(
        test::utf16Bytes(std::u16string(70000, u'a') + u"xml version\r\nno tags", false));
    sources.push_back(std::string(140000, 'a'));
    // ANSI first lines without a declaration; a first line of 100,000 bytes.
    sources.push_back("<r>\r\n<?xml version=\"1.0\"?><v>1</v></r>");
    sources.push_back(std::string(100000, 'x') + "<?xml version=\"1.0\"?><r><v>1</v></r>");
    sources.push_back("");
    // Enough chunks to go round the workers' ring of slots several times.
    std::string many = "<r>";
    while (many.size() < 100 * 65536) many += kPieces[below(std::size(kPieces))];
    sources.push_back(many);
    return sources;
}

struct RunResult {
    std::vector<std::string> results;
    std::vector<std::string> reports;
};

RunResult convertAll(const TempDir& dir, const std::string& outName, bool fast, unsigned workers) {
    std::filesystem::create_directory(dir / outName);
    test::FakeHost host;
    host.firstOption = true;
    host.secondOption = false;
    host.folder = u16(dir / outName);
    std::vector<std::string> sources = generatedSources();
    for (std::size_t i = 0; i < sources.size(); ++i) {
        host.rows.push_back(u16(dir / ("s" + std::to_string(i) + ".xml")));
    }
    report::RecordingReport report;
    ConversionRun run(host, report);
    run.setFastPath(fast);
    run.setChunkWorkers(workers);
    run.PushButton7_Click();
    RunResult result;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        result.results.push_back(readBytes(dir / outName / ("s" + std::to_string(i) + ".json")));
    }
    result.reports = report.steps();
    return result;
}

TEST(FastRun, WholeFilesGiveTheSameResultsAndReportsAsTheReferenceOnAnyNumberOfWorkers) {
    TempDir dir;
    std::vector<std::string> sources = generatedSources();
    for (std::size_t i = 0; i < sources.size(); ++i) {
        writeBytes(dir / ("s" + std::to_string(i) + ".xml"), sources[i]);
    }
    const RunResult reference = convertAll(dir, "reference", false, 1);
    EXPECT_FALSE(reference.reports.empty());  // the sources include chunks that report
    // One thread, and chunks side by side on more workers than this machine has cores.
    for (unsigned workers : {1u, 3u}) {
        const RunResult fast = convertAll(dir, "fast" + std::to_string(workers), true, workers);
        ASSERT_EQ(fast.results.size(), reference.results.size());
        for (std::size_t i = 0; i < fast.results.size(); ++i) {
            EXPECT_TRUE(fast.results[i] == reference.results[i]) << "source " << i;
        }
        EXPECT_EQ(fast.reports, reference.reports) << workers << " workers";
    }
}

}  // namespace
}  // namespace mv::run
