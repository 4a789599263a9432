#include "paths/paths.h"

#include <gtest/gtest.h>

#include "report/failure.h"
#include "tests/support/test_support.h"

namespace mv::paths {
namespace {

struct PathRow {
    std::u16string_view input;
    std::u16string_view expected;
};

TEST(PathHelpers, WindowsRules) {
    const char16_t bs = u'\\';
    for (auto [in, out] :
         {PathRow{u"C:\\data\\a.xml", u"a.xml"}, PathRow{u"a.xml", u"a.xml"},
          PathRow{u"C:\\data\\", u""}, PathRow{u"C:/data/a.xml", u"C:/data/a.xml"}}) {
        EXPECT_TEXT(out, GetFileName(in, bs));
    }
    for (auto [in, out] : {PathRow{u"a.xml", u""}, PathRow{u"C:\\data\\a.xml", u"C:\\data\\"},
                           PathRow{u"\\\\server\\share\\a.xml", u"\\\\server\\share\\"}}) {
        EXPECT_TEXT(out, GetFolderPath(in, bs));
    }
    for (auto [in, out] : {PathRow{u"C:\\\\out\\\\a.json", u"C:\\out\\a.json"},
                           PathRow{u"C:\\out\\\\\\a.json", u"C:\\out\\\\a.json"},
                           PathRow{u"\\\\\\\\server\\x", u"\\\\server\\x"},
                           PathRow{u"\\\\server\\\\share\\\\a.json", u"\\\\server\\share\\a.json"},
                           PathRow{u"\\x", u"\\\\x"}, PathRow{u"\\\\\\", u"\\\\"},
                           PathRow{u"C:\\a\\b.json", u"C:\\a\\b.json"}, PathRow{u"", u""},
                           PathRow{u"a\\\\\\\\b", u"a\\\\b"}}) {
        EXPECT_TEXT(out, CollapseBackslashes(in, bs));
    }
}

TEST(PathHelpers, LinuxRules) {
    for (auto [in, out] : {PathRow{u"/data/a.xml", u"a.xml"}, PathRow{u"/data/", u""},
                           PathRow{u"C:\\data\\a.xml", u"C:\\data\\a.xml"}}) {
        EXPECT_TEXT(out, GetFileName(in));
    }
    EXPECT_TEXT(u"/data/", GetFolderPath(u"/data/a.xml"));
    EXPECT_TEXT(u"", GetFolderPath(u"a.xml"));
    for (auto [in, out] :
         {PathRow{u"/tmp/out//a.json", u"/tmp/out/a.json"}, PathRow{u"//server/x", u"/server/x"},
          PathRow{u"////x//y", u"/x/y"}, PathRow{u"out//a.json", u"out/a.json"},
          PathRow{u"/", u"/"}, PathRow{u"a///b", u"a//b"}}) {
        EXPECT_TEXT(out, CollapseBackslashes(in));
    }
}

TEST(PathHelpers, RemoveExtensionCutsAtTheLastDot) {
    for (auto [in, out] :
         {PathRow{u"a.b.xml", u"a.b"}, PathRow{u"name.", u"name"}, PathRow{u"name", u"name"},
          PathRow{u".xml", u".xml"}, PathRow{u"", u""}, PathRow{u"dir.v2/file", u"dir"}}) {
        EXPECT_TEXT(out, RemoveExtension(in));
    }
}

TEST(PathHelpers, PositionsBeyond32767Overflow) {
    std::u16string longPath(40000, u'a');
    longPath += u"/b.xml";
    EXPECT_THROW(GetFolderPath(longPath), report::Failure);
    EXPECT_THROW(RemoveExtension(longPath), report::Failure);
    EXPECT_TEXT(u"b.xml", GetFileName(longPath));
}

TEST(PathHelpers, FileSystemQueriesNeverFail) {
    test::TempDir dir;
    test::writeBytes(dir / "f.xml", "x");
    EXPECT_TRUE(IsFolder(test::u16(dir.path())));
    EXPECT_FALSE(IsFolder(test::u16(dir / "f.xml")));
    EXPECT_FALSE(IsFolder(test::u16(dir / "missing")));
    EXPECT_FALSE(IsFolder(u""));
    EXPECT_TRUE(FileExists(test::u16(dir / "f.xml")));
    EXPECT_FALSE(FileExists(test::u16(dir / "missing.xml")));
    EXPECT_FALSE(FileExists(test::u16(dir / "f.xml" / "under-a-file")));
    EXPECT_FALSE(FileExists(u""));
}

}  // namespace
}  // namespace mv::paths
