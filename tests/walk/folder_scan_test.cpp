#include "walk/folder_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "report/error_report.h"
#include "tests/support/test_support.h"
#include "walk/attributes.h"
#include "walk/name_order.h"

namespace mv::walk {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::u16;
using test::writeBytes;

// Runs the folder button's scan on `root` and gives the files found, as
// paths relative to `root`.
std::vector<std::string> scan(const TempDir& dir, const std::string& root,
                              std::u16string_view pattern = u"*.xml") {
    std::vector<std::string> found;
    report::RecordingReport report;
    std::string base = (dir / root).string();
    ScanFolderTree(
        u16(dir / root), pattern,
        [&](const std::u16string& path) {
            found.push_back(fs::path(test::printable(path)).lexically_relative(base));
        },
        {}, report);
    EXPECT_EQ(report.size(), 0u);
    return found;
}

void touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    writeBytes(file, "<a>1</a>");
}

// Within one folder the file system's order holds; sort each folder's run
// of names so that the tests compare the order of the folders only.
std::vector<std::string> sortedWithinFolders(std::vector<std::string> paths) {
    auto folderOf = [](const std::string& p) { return fs::path(p).parent_path().string(); };
    for (auto begin = paths.begin(); begin != paths.end();) {
        auto end = std::find_if(begin, paths.end(), [&](const std::string& p) {
            return folderOf(p) != folderOf(*begin);
        });
        std::sort(begin, end);
        begin = end;
    }
    return paths;
}

TEST(FolderScan, TakesXmlInAnyCaseAndSkipsTildeAndOtherFiles) {
    TempDir dir;
    for (auto name : {"a.xml", "B.XML", "~$c.xml", "d.txt", "e.xml.bak", "f.Xml"})
        touch(dir / "t" / name);
    fs::create_directory(dir / "t" / "g.xml");  // a folder is not a file
    EXPECT_EQ(sortedWithinFolders(scan(dir, "t")),
              (std::vector<std::string>{"B.XML", "a.xml", "f.Xml"}));
    EXPECT_EQ(sortedWithinFolders(scan(dir, "t", u"*.*")),
              (std::vector<std::string>{"B.XML", "a.xml", "d.txt", "e.xml.bak", "f.Xml"}));
}

TEST(FolderScan, HiddenWritableFilesAreSkippedReadOnlyOnesAreNot) {
    TempDir dir;
    touch(dir / "t" / ".hidden.xml");    // hidden + archive: 34
    touch(dir / "t" / ".readonly.xml");  // hidden + archive + read-only: 35
    fs::permissions(dir / "t" / ".readonly.xml", fs::perms::owner_read);
    EXPECT_EQ(FileAttributes(u16(dir / "t" / ".hidden.xml")), 34);
    EXPECT_EQ(FileAttributes(u16(dir / "t" / ".readonly.xml")), 35);
    EXPECT_EQ(scan(dir, "t"), std::vector<std::string>{".readonly.xml"});
}

// The scan takes what the listing tells without a look by path; each kind of
// entry must come out as the look by path (openable, and not exactly hidden
// and archive) would decide.
TEST(FolderScan, EveryKindOfEntryIsTakenAsALookByItsPathWouldTakeIt) {
    TempDir dir;
    const fs::path t = dir / "t";
    touch(t / "plain.xml");
    touch(t / ".hidden.xml");
    touch(t / ".readonly.xml");
    fs::permissions(t / ".readonly.xml", fs::perms::owner_read);
    fs::create_symlink("plain.xml", t / "link.xml");
    fs::create_symlink(".hidden.xml", t / ".link.xml");  // an alias is never hidden
    fs::create_symlink("missing.xml", t / "dangling.xml");
    fs::create_directory_symlink(dir / "elsewhere", t / "folder-link.xml");
    fs::create_directory(dir / "elsewhere");
    fs::create_directory(t / "folder.xml");
    ASSERT_EQ(mkfifo((t / "pipe.xml").c_str(), 0600), 0);
    fs::create_symlink("pipe.xml", t / "pipe-link.xml");
    std::vector<std::string> expected;
    for (const auto& entry : fs::directory_iterator(t)) {
        auto path = u16(entry.path());
        if (IsOpenableFile(path) && FileAttributes(path) != 34)
            expected.push_back(entry.path().filename().string());
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected,
              (std::vector<std::string>{".link.xml", ".readonly.xml", "link.xml", "plain.xml"}));
    EXPECT_EQ(sortedWithinFolders(scan(dir, "t")), expected);
}

TEST(FolderScan, FoldersComeBreadthFirstLevelByLevel) {
    TempDir dir;
    for (auto file :
         {"r.xml", "a/a.xml", "b/b.xml", "a/sub/as.xml", "b/sub/bs.xml", "a/sub/deep/d.xml"}) {
        touch(dir / "root" / file);
    }
    auto found = scan(dir, "root");
    ASSERT_EQ(found.size(), 6u);
    EXPECT_EQ(found[0], "r.xml");
    // a and b (in the order the file system lists them), then their
    // sub-folders in the same order, then the level below.
    std::vector<std::string> level1 = {found[1], found[2]};
    std::vector<std::string> level2 = {found[3], found[4]};
    std::sort(level1.begin(), level1.end());
    std::sort(level2.begin(), level2.end());
    EXPECT_EQ(level1, (std::vector<std::string>{"a/a.xml", "b/b.xml"}));
    EXPECT_EQ(level2, (std::vector<std::string>{"a/sub/as.xml", "b/sub/bs.xml"}));
    EXPECT_EQ(found[5], "a/sub/deep/d.xml");
    EXPECT_EQ(fs::path(found[1]).parent_path() == "a", fs::path(found[3]).parent_path() == "a/sub");
}

TEST(FolderScan, LinksToFoldersAreNotFollowed) {
    TempDir dir;
    touch(dir / "t" / "x.xml");
    touch(dir / "t" / "sub" / "y.xml");
    touch(dir / "elsewhere" / "z.xml");
    fs::create_directory_symlink(dir / "t", dir / "t" / "sub" / "loop");
    fs::create_directory_symlink(dir / "elsewhere", dir / "t" / "away");
    EXPECT_EQ(scan(dir, "t"), (std::vector<std::string>{"x.xml", "sub/y.xml"}));
}

TEST(FolderScan, SubFoldersWithUnshowableNamesAreSkippedWithEverythingBelow) {
    TempDir dir;
    touch(dir / "t" / "\xE5\xAD\x90" / "a.xml");       // a character outside the code page
    touch(dir / "t" / "tab\tname" / "b.xml");          // a control character
    touch(dir / "t" / "bad\xFF" / "c.xml");            // not UTF-8 at all
    touch(dir / "t" / "caf\xC3\xA9" / "d" / "e.xml");  // é is in the code page
    touch(dir / "t" / "\xE6\x96\x87.xml");             // file names are not checked
    EXPECT_EQ(sortedWithinFolders(scan(dir, "t")),
              (std::vector<std::string>{"\\u6587.xml", "caf\\u00E9/d/e.xml"}));
}

TEST(FolderScan, FolderPathsOf260CharactersOrMoreAreNotWalked) {
    TempDir dir;
    fs::path deep = dir / "t";
    while (u16(deep).size() < 300) deep /= std::string(40, 'd');
    touch(deep / "far.xml");
    touch(dir / "t" / "near.xml");
    EXPECT_EQ(scan(dir, "t"), std::vector<std::string>{"near.xml"});
}

TEST(FolderScan, MissingStartFolderGivesNothing) {
    TempDir dir;
    EXPECT_TRUE(scan(dir, "missing").empty());
}

TEST(FolderScan, HelpersTable) {
    struct Row {
        std::u16string_view text;
        bool bad;
    } names[] = {{u"plain", false},  {u"caf\u00E9", false}, {u"\u5B50", true}, {u"a?b", true},
                 {u"\u0080x", true}, {u"\u20AC", true},     {u"tab\t", true},  {u"", false},
                 {u"\u009F", true},  {u"\u00A0", false}};
    for (const auto& row : names) {
        SCOPED_TRACE(test::printable(row.text));
        EXPECT_EQ(HasBadCharacters(row.text), row.bad);
    }
    struct Match {
        std::u16string_view pattern, name;
        bool matches;
    } matches[] = {{u"*.xml", u"a.xml", true},      {u"*.xml", u"A.XML", true},
                   {u"*.xml", u"a.xmlx", false},    {u"*.xml", u".xml", true},
                   {u"*.*", u"noext", true},        {u"a?c", u"abc", true},
                   {u"*.xml", u"\u00C9.XML", true}, {u"*b*", u"aaa", false}};
    for (const auto& row : matches) {
        SCOPED_TRACE(test::printable(row.name));
        EXPECT_EQ(MatchesPattern(row.pattern, row.name), row.matches);
    }
    TempDir dir;
    touch(dir / "f.xml");
    fs::create_directory(dir / "d");
    ASSERT_EQ(mkfifo((dir / "p").c_str(), 0600), 0);
    EXPECT_TRUE(IsOpenableFile(u16(dir / "f.xml")));
    EXPECT_FALSE(IsOpenableFile(u16(dir / "d")));
    EXPECT_FALSE(IsOpenableFile(u16(dir / "p")));
    EXPECT_FALSE(IsOpenableFile(u16(dir / "missing")));
    EXPECT_FALSE(IsOpenableFile(u""));
}

TEST(NameOrder, SortsAsAFileManagerWithATotalOrder) {
    struct Row {
        std::u16string_view a, b;
    } less[] = {
        {u"a.xml", u"B.xml"},
        {u"B.xml", u"b.xml"},  // case only: by character
        {u"x9.xml", u"x10.xml"},
        {u"x09", u"x9"},  // numbers by value, then by character
        {u"x9z", u"x010a"},
        {u"_a", u"a"},  // punctuation before letters
        {u"a", u"a.xml"},
        {u"file2b", u"file10a"},
        {u"\u00e9t\u00e9", u"\u00c9T\u00c9x"},  // Windows-1252 letters fold too
    };
    for (const auto& row : less) {
        EXPECT_TRUE(NameLess(row.a, row.b)) << std::string(row.a.begin(), row.a.end());
        EXPECT_FALSE(NameLess(row.b, row.a)) << std::string(row.b.begin(), row.b.end());
    }
    EXPECT_FALSE(NameLess(u"same", u"same"));
}

}  // namespace
}  // namespace mv::walk
