// Shared test helpers: readable 16-bit text in failure messages, temporary
// folders, and files written and read as raw bytes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/failure.h"
#include "tests/support/printable.h"

namespace mv::test {

// Compares 16-bit texts and prints both sides escaped when they differ.
::testing::AssertionResult sameText(std::u16string_view expected, std::u16string_view actual);
#define EXPECT_TEXT(expected, actual) EXPECT_TRUE(::mv::test::sameText((expected), (actual)))

// The kind of the failure the body throws, or nothing when it completes.
template <class Body>
std::optional<report::FailureKind> failureKindOf(Body&& body) {
    try {
        body();
    } catch (const report::Failure& failure) {
        return failure.kind();
    }
    return std::nullopt;
}

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

void writeBytes(const std::filesystem::path& file, std::string_view bytes);
std::string readBytes(const std::filesystem::path& file);
// The names of a folder's entries, sorted.
std::vector<std::string> entryNames(const std::filesystem::path& folder);
// UTF-16LE bytes of the text, with a byte-order mark when asked.
std::string utf16Bytes(std::u16string_view text, bool withBom);
std::u16string u16(const std::filesystem::path& path);

}  // namespace mv::test
