#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/sources.h"
#include "report/error_report.h"
#include "tests/support/test_support.h"

namespace mv::cli {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct Pass {
    // "name|subfolder" in the order handed out, and "|inode" for a plain named file
    std::vector<std::string> sources;
    std::vector<std::string> passedOver;
    std::vector<std::string> reports;
};

Pass goOver(SourceSpool& spool, const std::vector<std::string>& arguments) {
    Pass pass;
    report::RecordingReport report;
    spool.startPass();
    for (const auto& argument : arguments) {
        spool.forEachSource(
            argument, false,
            [&](const Source& source) {
                pass.sources.push_back(
                    source.name + "|" + test::printable(source.subfolder) +
                    (source.seen.plain ? "|" + std::to_string(source.seen.inode) : ""));
            },
            report,
            [&](const std::u16string& folder) {
                pass.passedOver.push_back(test::printable(folder));
            });
    }
    pass.reports = report.steps();
    return pass;
}

void touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    test::writeBytes(file, "<a>1</a>");
}

// A tree with files at two levels, a named file, a missing name and a
// sub-folder too deep to walk: every kind of thing a pass hands out.
std::vector<std::string> makeArguments(const TempDir& dir) {
    for (auto name : {"t/b.xml", "t/a10.xml", "t/a9.xml", "t/s/c.xml", "t/s/u/d.xml", "one.xml"})
        touch(dir / name);
    fs::path deep = dir / "t";
    while (test::u16(deep).size() < 300) deep /= std::string(40, 'd');
    touch(deep / "far.xml");
    return {(dir / "t").string(), (dir / "one.xml").string(), (dir / "gone.xml").string(),
            (dir / "t" / "s").string()};
}

TEST(SourceSpool, LaterPassesHandOutWhatTheFirstListedWithoutWalkingAgain) {
    TempDir dir;
    auto arguments = makeArguments(dir);
    fs::create_symlink(dir / "one.xml", dir / "link.xml");
    arguments.push_back((dir / "link.xml").string());
    SourceSpool spool;
    Pass first = goOver(spool, arguments);
    ASSERT_EQ(first.sources.size(), 10u);
    EXPECT_EQ(first.sources[0], (dir / "t").string() + "/a9.xml|");
    // A named plain file comes with what the first look saw of it; a link
    // and a missing name come without.
    struct stat st {};
    ASSERT_EQ(::stat((dir / "one.xml").c_str(), &st), 0);
    const auto inode = std::to_string(st.st_ino);
    EXPECT_EQ(first.sources[5], (dir / "one.xml").string() + "||" + inode);
    EXPECT_EQ(first.sources[6], (dir / "gone.xml").string() + "|");
    EXPECT_EQ(first.sources[9], (dir / "link.xml").string() + "|");
    EXPECT_EQ(first.passedOver.size(), 1u);
    // What is gone from the disk still comes, as listed; the sources, the
    // passed-over folder and their order are those of the first pass.
    fs::remove_all(dir / "t" / "s");
    fs::remove(dir / "t" / "b.xml");
    for (int pass = 0; pass < 2; ++pass) {
        Pass again = goOver(spool, arguments);
        EXPECT_EQ(again.sources, first.sources);
        EXPECT_EQ(again.passedOver, first.passedOver);
        EXPECT_EQ(again.reports, first.reports);
    }
}

// Enough names for the first pass to look at them on several threads first:
// it hands out what one look at a time gives, each with its own identity.
TEST(SourceSpool, AFirstPassThatLookedAheadHandsOutTheSame) {
    TempDir dir;
    const auto kinds = makeArguments(dir);
    fs::create_symlink(dir / "one.xml", dir / "link.xml");
    std::vector<std::string> arguments;
    for (int i = 0; arguments.size() < 700; ++i) {
        const std::string own = (dir / ("f" + std::to_string(i) + ".xml")).string();
        if (i % 3 == 0) touch(own);
        arguments.push_back(own);
        arguments.push_back(kinds[static_cast<std::size_t>(i) % kinds.size()]);
        if (i % 50 == 0) arguments.push_back((dir / "link.xml").string());
    }
    SourceSpool alone;
    const Pass expected = goOver(alone, arguments);
    SourceSpool ahead;
    ahead.lookAhead(arguments, 3);
    const Pass first = goOver(ahead, arguments);
    EXPECT_EQ(first.sources, expected.sources);
    EXPECT_EQ(first.passedOver, expected.passedOver);
    EXPECT_EQ(first.reports, expected.reports);
}

TEST(SourceSpool, WithoutATemporaryFileEveryPassWalks) {
    TempDir dir;
    auto arguments = makeArguments(dir);
    const char* old = std::getenv("TMPDIR");
    std::string kept = old != nullptr ? old : "";
    setenv("TMPDIR", (dir / "missing").c_str(), 1);
    SourceSpool spool;
    Pass first = goOver(spool, arguments);
    if (old != nullptr) {
        setenv("TMPDIR", kept.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    fs::remove(dir / "t" / "b.xml");
    Pass again = goOver(spool, arguments);
    EXPECT_EQ(again.sources.size() + 1, first.sources.size());
    EXPECT_EQ(again.passedOver, first.passedOver);
}

}  // namespace
}  // namespace mv::cli
