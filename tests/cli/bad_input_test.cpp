// Bad input through marrowvale-cli as a real process: each fault is reported
// with its description and step, the other files still convert exactly,
// nothing hangs, and no result is ever left half-written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/escape.h"
#include "engine/codepage.h"
#include "engine/flatten.h"
#include "engine/json_writer.h"
#include "engine/prolog.h"
#include "report/error_report.h"
#include "report/failure.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

// Every file and folder below `root`, by relative path: contents for files,
// a mark for anything else.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = fs::relative(entry.path(), root).string();
        if (entry.is_symlink()) {
            files[name] = "<link to " + fs::read_symlink(entry.path()).string() + ">";
        } else if (entry.is_regular_file()) {
            files[name] = readBytes(entry.path());
        } else if (entry.is_directory()) {
            files[name] = "<folder>";
        } else {
            files[name] = "<special>";
        }
    }
    return files;
}

::testing::AssertionResult mentions(const std::string& err, const std::string& piece) {
    if (err.find(piece) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "stderr lacks \"" << printable(piece) << "\"\nstderr:\n"
                                         << printable(err);
}

const std::string kNoteXml =
    "<?xml version=\"1.0\"?>\r\n<note>\r\n  <to>Tove</to>\r\n  <from>Jani</from>\r\n</note>\r\n";
const std::string kNoteJson =
    " { \r\n{\"note\":\"  toTove\"},\r\n{\"from\":\"Jani\"},\r\n{\"note\":\"\"}\r\n } ";

// The report line of a failed step: description, location, step number.
std::string inRun(const std::string& description, int step) {
    return description + " [in Tessaline2021/08/31.Form1.PushButton7_Click at line " +
           std::to_string(step) + "]";
}
std::string inFirstLineTest(const std::string& description, int step) {
    return description + " [in Tessaline2021/08/31.Main.CheckFirsrStringFSO at line " +
           std::to_string(step) + "]";
}

// Deterministic bytes that are nothing like text: NULs, every byte value,
// and a few stray angle brackets for the tag search to trip on.
std::string binaryBytes(std::size_t size) {
    std::mt19937 generator(20210831);
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        unsigned value = generator() % 300;
        bytes += value >= 256 ? (value % 3 == 0   ? '<'
                                 : value % 3 == 1 ? '>'
                                                  : '\0')
                              : static_cast<char>(value);
    }
    return bytes;
}

// UTF-16 with its declaration, whose body holds lone surrogates.
std::string invalidUtf16() {
    std::u16string body = u"<a>";
    body += static_cast<char16_t>(0xD800);
    body += u"x";
    body += static_cast<char16_t>(0xDC00);
    body += u"</a>";
    return utf16Bytes(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n", true) +
           utf16Bytes(body, false);
}

void makeSocket(const fs::path& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.string().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);  // the socket file stays without a listener
}

// One bad source, converted in one run with a good one after it.
struct BadSource {
    const char* name;
    std::function<std::string(const TempDir&)> make;  // returns the argument given to the CLI
    int exitCode;                                     // -1: 0 or 1, as long as nothing crashed
    std::vector<std::string> reports;                 // "{src}" stands for the full source path
    std::string resultName;
    std::optional<std::string> result;  // exact bytes; unset: the result only has to exist
};

std::string withSource(std::string text, const std::string& source) {
    auto at = text.find("{src}");
    if (at != std::string::npos) text.replace(at, 5, source);
    return text;
}

// A source that is `bytes` in a file of its own.
std::function<std::string(const TempDir&)> fileWith(const std::string& name,
                                                    const std::string& bytes) {
    return [name, bytes](const TempDir& d) {
        writeBytes(d / name, bytes);
        return (d / name).string();
    };
}

// A source that names a file that does not exist.
std::function<std::string(const TempDir&)> absent(const std::string& name) {
    return [name](const TempDir& d) { return (d / name).string(); };
}

// Sources that are not there, hold nothing or are no regular file.
std::vector<BadSource> unreadableSources() {
    const std::string kMissingName = "\xE7\xBC\xBA\xFF\xF0\x9F\x98\x80.xml";  // 缺, a bad byte, 😀
    const std::string kNotRegular = "Not a regular file: {src}";
    return {
        {"missing file",
         absent("missing.xml"),
         1,
         {inFirstLineTest("File not found: {src}", 102), inRun("Subscript out of range", 160)},
         "missing.json",
         ""},
        {"empty file",
         fileWith("empty.xml", ""),
         1,
         {inRun("Subscript out of range", 160)},
         "empty.json",
         ""},
        {"FIFO",
         [](const TempDir& d) {
             EXPECT_EQ(mkfifo((d / "fifo.xml").c_str(), 0644), 0);
             return (d / "fifo.xml").string();
         },
         1,
         {inFirstLineTest(kNotRegular, 102), inRun("Subscript out of range", 160)},
         "fifo.json",
         ""},
        {"socket",
         [](const TempDir& d) {
             makeSocket(d / "socket.xml");
             return (d / "socket.xml").string();
         },
         1,
         {inFirstLineTest(kNotRegular, 102), inRun("Subscript out of range", 160)},
         "socket.json",
         ""},
        {"endless device",
         [](const TempDir&) { return std::string("/dev/zero"); },
         1,
         {inFirstLineTest("Not a regular file: /dev/zero", 102),
          inRun("Subscript out of range", 160)},
         "zero.json",
         ""},
        {"missing file with an unshowable name",
         absent(kMissingName),
         1,
         {inFirstLineTest("File not found: {src}", 102)},
         "\xE7\xBC\xBA\xFF\xF0\x9F\x98\x80.json",
         ""},
    };
}

// Sources whose bytes are no text, or whose names are odd.
std::vector<BadSource> oddSources() {
    const std::string kChineseName = "\xE4\xB8\xAD\xE6\x96\x87";
    return {
        {"binary bytes with NULs",
         fileWith("binary.xml", binaryBytes(200000)),
         -1,
         {},
         "binary.json",
         std::nullopt},
        {"invalid UTF-16",
         fileWith("utf16.xml", invalidUtf16()),
         0,
         {},
         "utf16.json",
         " { \r\n{\"a\":\"?x?\"},\r\n{}\r\n } "},
        {"Chinese name",
         fileWith(kChineseName + ".xml", kNoteXml),
         0,
         {},
         kChineseName + ".json",
         kNoteJson},
        {"emoji name",
         fileWith("smile \xF0\x9F\x98\x80.xml", kNoteXml),
         0,
         {},
         "smile \xF0\x9F\x98\x80.json",
         kNoteJson},
        {"name with invalid UTF-8",
         fileWith("bad\xFF\xFE\xC3.xml", kNoteXml),
         0,
         {},
         "bad\xFF\xFE\xC3.json",
         kNoteJson},
    };
}

// Converts the bad source and a good one after it in one run.
void expectReportedAndTheGoodOneConverts(const BadSource& row) {
    TempDir dir;
    fs::create_directory(dir / "out");
    writeBytes(dir / "good.xml", kNoteXml);
    std::string source = row.make(dir);
    auto r = runCli(dir.path(), {"convert", "-v", "-j", "1", "-o", "out", source, "good.xml"});
    if (row.exitCode < 0) {
        EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.exitCode << "\n" << r.err;
    } else {
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    }
    if (row.reports.empty() && row.exitCode == 0) {
        EXPECT_EQ(r.err, "");
    }
    for (const auto& report : row.reports) {
        // Names reach the terminal escaped.
        EXPECT_TRUE(mentions(r.err, cli::escapeForTerminal(withSource(report, source))));
    }
    EXPECT_EQ(readBytes(dir / "out" / "good.json"), kNoteJson);
    ASSERT_TRUE(fs::is_regular_file(dir / "out" / row.resultName));
    if (row.result) {
        EXPECT_EQ(printable(readBytes(dir / "out" / row.resultName)), printable(*row.result));
    }
    std::vector<std::string> results = {"good.json", row.resultName};
    std::sort(results.begin(), results.end());
    EXPECT_EQ(entryNames(dir / "out"), results);  // and nothing else
}

TEST(BadInput, EachBadSourceIsReportedAndTheGoodOneStillConverts) {
    for (const auto& rows : {unreadableSources(), oddSources()}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.name);
            expectReportedAndTheGoodOneConverts(row);
        }
    }
}

// A file of one 3 MB line is read chunk by chunk like any other: its result
// is the results of its 65,536-character pieces, each converted on its own,
// one after the other.
TEST(BadInput, ThreeMegabytesWithoutALineBreakConvertChunkByChunk) {
    constexpr std::size_t kChunk = 65536;
    TempDir dir;
    std::string text = "<?xml version=\"1.0\"?><r>";
    for (int i = 0; text.size() < 3 * 1024 * 1024; ++i) {
        text += "<v>" + std::to_string(i) + "</v>";
    }
    text += "</r>";
    writeBytes(dir / "long.xml", text);
    fs::create_directories(dir / "whole");
    auto whole = runCli(dir.path(), {"convert", "-o", "whole", "long.xml"});
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_EQ(whole.err, "");

    // The same chunks converted in memory, one after the other: the first
    // as it stands, the later ones under the first one's root.
    report::RecordingReport report;
    std::string expected;
    std::u16string fileRoot;
    for (std::size_t at = 0; at < text.size(); at += kChunk) {
        std::u16string chunk;
        const std::string piece = text.substr(at, kChunk);
        engine::decodeAnsi(reinterpret_cast<const unsigned char*>(piece.data()), piece.size(),
                           chunk);
        if (at == 0) fileRoot = engine::SetMainXMLTag(chunk, report);
        auto stripped = at == 0
                            ? engine::StripXmlProlog(chunk, fileRoot, engine::kNo, engine::kNo)
                            : engine::StripXmlProlog(chunk, fileRoot, engine::kYes, engine::kNo);
        engine::encodeAnsi(engine::StringToJSON(engine::ReplaceXML(stripped, report), report),
                           expected);
    }
    EXPECT_EQ(report.size(), 0u);
    std::string result = readBytes(dir / "whole" / "long.json");
    EXPECT_EQ(result.size(), expected.size());
    EXPECT_TRUE(result == expected);  // 3 MB: no dump on failure
}

// Results that cannot be written: each is reported where the output file is
// opened, and every file and folder present before is left as it was.
TEST(BadInput, UnwritableResultsAreReportedAndTouchNothing) {
    struct Row {
        const char* name;
        std::function<void(const TempDir&)> setup;
        std::vector<std::string> args;
        int exitCode;
        std::vector<std::string> reports;
    } rows[] = {
        {"output folder under a regular file",
         [](const TempDir&) {},
         {"convert", "-o", "plain.txt/sub", "good.xml"},
         2,
         {"Folder does not exist. Please select another folder."}},
        {"result beside a source under a regular file",
         [](const TempDir&) {},
         {"convert", "plain.txt/x.xml", "good.xml"},
         1,
         {inRun("Path not found: {dir}/plain.txt/x.json", 158)}},
        {"result name taken by a folder",
         [](const TempDir& d) {
             fs::create_directories(d / "out" / "good.json");
             writeBytes(d / "out" / "good.json" / "keep.txt", "kept");
         },
         {"convert", "-o", "out", "good.xml"},
         1,
         {inRun("Path/File access error: out/good.json", 158)}},
        {"result name too long for the file system",
         [](const TempDir& d) { writeBytes(d / (std::string(251, 'n') + ".xml"), kNoteXml); },
         {"convert", "-o", "out", std::string(251, 'n') + ".xml"},
         1,
         {"(name too long) [in Tessaline2021/08/31.Form1.PushButton7_Click at line 158]"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        writeBytes(dir / "good.xml", kNoteXml);
        writeBytes(dir / "plain.txt", "plain");
        fs::create_directory(dir / "out");
        row.setup(dir);
        auto before = snapshot(dir.path());
        auto args = row.args;
        args.insert(args.begin() + 1, "-v");  // every line of each cascade
        auto r = runCli(dir.path(), args);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        for (auto report : row.reports) {
            auto at = report.find("{dir}");
            if (at != std::string::npos) report.replace(at, 5, dir.path().string());
            EXPECT_TRUE(mentions(r.err, report));
        }
        auto after = snapshot(dir.path());
        if (after.count("good.json")) {  // converted beside its source
            EXPECT_EQ(after["good.json"], kNoteJson);
            after.erase("good.json");
        }
        EXPECT_EQ(after, before);
    }
}

// A folder's name limit, known from an earlier result there, still refuses a
// name that is too long, and the earlier result stands.
TEST(BadInput, NameTooLongAfterAnotherResultInTheSameFolder) {
    TempDir dir;
    const std::string longName = std::string(251, 'n') + ".xml";
    writeBytes(dir / "good.xml", kNoteXml);
    writeBytes(dir / longName, kNoteXml);
    fs::create_directory(dir / "out");
    auto r = runCli(dir.path(), {"convert", "-o", "out", "good.xml", longName});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(mentions(r.err,
                         "(name too long) [in Tessaline2021/08/31.Form1.PushButton7_Click "
                         "at line 158]"));
    EXPECT_EQ(readBytes(dir / "out" / "good.json"), kNoteJson);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);
}

// Runs the CLI so that permission bits hold: root ignores them, so under root
// the run drops to the unprivileged user 65534.

TEST(BadInput, PermissionDeniedIsReportedAndLosesNothing) {
    using P = fs::perms;
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> reports;
        int exitCode = 1;
    } rows[] = {
        // Found once, before the first file, instead of a report for each.
        {"output folder without write access",
         {"convert", "-o", "locked", "good.xml"},
         {"cannot write into the output folder locked: Permission denied"},
         2},
        {"read-only result in a writable folder",
         {"convert", "-o", "open", "good.xml"},
         {inRun("Permission denied: open/good.json", 158)}},
        {"unreadable source",
         {"convert", "-o", "open", "secret.xml"},
         {inFirstLineTest("Permission denied: {dir}/secret.xml", 104),
          inRun("Subscript out of range", 160)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        Unprivileged user;
        std::string reason = user.prepare(dir);
        if (!reason.empty()) GTEST_SKIP() << reason;
        writeBytes(dir / "good.xml", kNoteXml);
        writeBytes(dir / "secret.xml", kNoteXml);
        fs::permissions(dir / "secret.xml", P::none);
        fs::create_directory(dir / "locked");
        fs::permissions(dir / "locked", P::owner_read | P::owner_exec | P::group_read |
                                            P::group_exec | P::others_read | P::others_exec);
        fs::create_directory(dir / "open");
        user.giveAway(dir / "open");
        writeBytes(dir / "open" / "good.json", "old result");
        user.giveAway(dir / "open" / "good.json");
        fs::permissions(dir / "open" / "good.json", P::owner_read | P::group_read | P::others_read);
        auto before = snapshot(dir.path());

        auto args = row.args;
        args.insert(args.begin() + 1, "-v");  // every line of each cascade
        auto r = user.run(dir, args);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        for (auto report : row.reports) {
            auto at = report.find("{dir}");
            if (at != std::string::npos) report.replace(at, 5, dir.path().string());
            EXPECT_TRUE(mentions(r.err, report));
        }
        auto after = snapshot(dir.path());
        // An unreadable source converts as an empty one: its result is empty.
        if (std::string(row.name) == "unreadable source") {
            EXPECT_EQ(after["open/secret.json"], "");
            after.erase("open/secret.json");
        }
        EXPECT_EQ(after, before);
    }
}

// A result path that links to a device: the device node itself must never be
// swapped for a regular file (with /dev/null, that breaks the whole system).
TEST(BadInput, ResultLinkedToADeviceNeverReplacesTheDevice) {
    TempDir dir;
    if (mknod((dir / "null-device").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "cannot make a device node here: " << report::systemErrorText(errno);
    }
    fs::create_symlink("null-device", dir / "good.json");
    writeBytes(dir / "good.xml", kNoteXml);
    auto r = runCli(dir.path(), {"convert", "good.xml"});
    EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.err;
    struct stat st {};
    ASSERT_EQ(lstat((dir / "null-device").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode))
        << "the device node became a file of " << fs::file_size(dir / "null-device") << " bytes";
    EXPECT_TRUE(fs::is_symlink(dir / "good.json"));
}

// Killed at any moment, a run leaves the old result byte for byte or the
// whole new one, and no temporary file.
TEST(BadInput, KilledRunLeavesTheOldResultOrTheWholeNewOne) {
    TempDir dir;
    // A root with an attribute: no chunk is cut short after a root end tag, so
    // every record is converted and the run lasts long enough to be killed.
    std::string source = "<records id=\"1\">";
    source.reserve(60'000'000);
    while (source.size() < 60'000'000) source += "<r><v>1234567890</v></r>";
    writeBytes(dir / "big.xml", source);
    source.clear();
    source.shrink_to_fit();

    fs::create_directory(dir / "reference");
    ASSERT_EQ(runCli(dir.path(), {"convert", "-q", "-o", "reference", "big.xml"}).exitCode, 0);
    const std::string complete = readBytes(dir / "reference" / "big.json");
    ASSERT_EQ(complete.rfind(" { ", 0), 0u);
    ASSERT_EQ(complete.substr(complete.size() - 3), " } ");
    const std::string old = "old result, still wanted\r\n";

    int killedMidway = 0;
    for (bool withOld : {true, false}) {
        for (int delayMs : {30, 45, 60, 80}) {
            SCOPED_TRACE((withOld ? "over an old result, kill after " : "kill after ") +
                         std::to_string(delayMs) + " ms");
            fs::path out = dir / ("out" + std::to_string(delayMs) + (withOld ? "old" : "new"));
            fs::create_directory(out);
            if (withOld) writeBytes(out / "big.json", old);
            pid_t pid = spawnCli(
                {"convert", "-q", "-j", "1", "-o", out.string(), (dir / "big.xml").string()});
            ASSERT_GT(pid, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            kill(pid, SIGKILL);
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            if (WIFSIGNALED(status)) ++killedMidway;

            auto left = entryNames(out);
            if (left.empty()) {
                EXPECT_FALSE(withOld) << "the old result is gone";
                continue;
            }
            EXPECT_EQ(left, std::vector<std::string>{"big.json"});
            std::string result = readBytes(out / "big.json");
            EXPECT_TRUE(result == old || result == complete)
                << "a result of " << result.size() << " bytes, neither old (" << old.size()
                << ") nor complete (" << complete.size() << ")";
        }
    }
    EXPECT_GT(killedMidway, 0) << "every run ended before its kill: the source is too small";
}

TEST(BadInput, RunsLeaveNoStrayFiles) {
    TempDir dir;
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "out" / "blocked.json");
    writeBytes(dir / "src" / "new.xml", kNoteXml);
    writeBytes(dir / "src" / "replaced.xml", kNoteXml);
    writeBytes(dir / "src" / "blocked.xml", kNoteXml);
    writeBytes(dir / "src" / "empty.xml", "");
    writeBytes(dir / "out" / "replaced.json", "old");
    writeBytes(dir / "src" / "replaced.json", "old");
    const std::vector<std::string> sources = {"src/new.xml", "src/replaced.xml", "src/blocked.xml",
                                              "src/empty.xml"};

    std::vector<std::string> intoFolder = {"convert", "-o", "out"};
    intoFolder.insert(intoFolder.end(), sources.begin(), sources.end());
    EXPECT_EQ(runCli(dir.path(), intoFolder).exitCode, 1);
    EXPECT_EQ(entryNames(dir / "out"), (std::vector<std::string>{"blocked.json", "empty.json",
                                                                 "new.json", "replaced.json"}));
    EXPECT_TRUE(fs::is_empty(dir / "out" / "blocked.json"));
    EXPECT_EQ(readBytes(dir / "out" / "replaced.json"), kNoteJson);

    std::vector<std::string> beside = {"convert", "-j", "1"};
    beside.insert(beside.end(), sources.begin(), sources.end());
    EXPECT_EQ(runCli(dir.path(), beside).exitCode, 1);
    EXPECT_EQ(entryNames(dir / "src"),
              (std::vector<std::string>{"blocked.json", "blocked.xml", "empty.json", "empty.xml",
                                        "new.json", "new.xml", "replaced.json", "replaced.xml"}));
    EXPECT_EQ(readBytes(dir / "src" / "replaced.json"), kNoteJson);
}

// Thirty sources, good and bad, some of them results of others and some
// sharing one result name: every -j gives the files and the report lines of
// -j 1. Results go to "." so that the report texts of the runs can match.
TEST(BadInput, ParallelRunsMatchTheSequentialOneFileForFileAndReportForReport) {
    TempDir dir;
    std::vector<std::string> sources;
    for (int i = 0; i < 30; ++i) {
        fs::path folder = dir / "src" / std::to_string(i % 4);
        fs::create_directories(folder);
        std::string n = std::to_string(i);
        fs::path file;
        switch (i % 10) {
            case 0:
                file = folder / ("note" + n + ".xml");
                writeBytes(file, kNoteXml);
                break;
            case 1:
                file = folder / ("empty" + n + ".xml");
                writeBytes(file, "");
                break;
            case 2:
                file = folder / ("missing" + n + ".xml");
                break;
            case 3: {
                file = folder / ("big" + n + ".xml");
                std::string big = "<r>";
                while (big.size() < 150000u + 7u * i) big += "<v>" + n + "</v>";
                writeBytes(file, big + "</r>");
                break;
            }
            case 4:  // a folder argument: scanned, and empty
                file = folder / ("folder" + n + ".xml");
                fs::create_directory(file);
                break;
            case 5:
                file = folder / ("binary" + n + ".xml");
                writeBytes(file, binaryBytes(70000 + 100 * i));
                break;
            case 6:
                file = folder / ("fifo" + n + ".xml");
                mkfifo(file.c_str(), 0644);
                break;
            case 7:
                file = folder / ("utf16-" + n + ".xml");
                writeBytes(file, invalidUtf16());
                break;
            case 8:
                file = folder / "blocked.xml";  // its result is a folder
                writeBytes(file, kNoteXml);
                break;
            case 9:
                file = folder / "twin.xml";  // the last twin, an empty one, wins
                writeBytes(file, i == 19 ? kNoteXml : std::string());
                break;
        }
        sources.push_back(file.string());
    }
    sources.push_back(sources[0]);  // listed twice

    std::map<std::string, std::map<std::string, std::string>> files;
    std::map<std::string, Result> runs;
    for (const char* jobs : {"1", "2", "8"}) {
        fs::path out = dir / (std::string("out") + jobs);
        fs::create_directories(out / "blocked.json");
        std::vector<std::string> args = {"convert", "-j", jobs, "-o", "."};
        args.insert(args.end(), sources.begin(), sources.end());
        runs[jobs] = runCli(out, args);
        files[jobs] = snapshot(out);
        EXPECT_EQ(runs[jobs].exitCode, 1) << jobs << " jobs\n" << runs[jobs].err;
    }
    // 31 sources, three of them (empty) folders, share 23 result names.
    EXPECT_EQ(files["1"].size(), 23u);
    EXPECT_EQ(files["1"]["twin.json"], "");
    EXPECT_TRUE(files["2"] == files["1"]);
    EXPECT_TRUE(files["8"] == files["1"]);
    EXPECT_TRUE(mentions(runs["1"].err, inRun("Path/File access error: ./blocked.json", 158)));
    EXPECT_EQ(runs["2"].err, runs["1"].err);
    EXPECT_EQ(runs["8"].err, runs["1"].err);
}

// Files of several chunks among small ones: their chunks go to whatever
// core the other files leave idle, and the results, the reports and the
// records are those of one worker.
TEST(BadInput, LargeFilesInABatchGiveTheSameOnAnyNumberOfWorkers) {
    TempDir dir;
    auto records = [](std::string text, std::size_t size) {
        for (int i = 0; text.size() < size; ++i)
            text += "<v a=\"" + std::to_string(i) + "\">x\xe9" + std::to_string(i) + "</v>\r\n";
        return text + "</r>";
    };
    writeBytes(dir / "big1.xml", records("<?xml version=\"1.0\"?>\r\n<r>", 400000));
    writeBytes(dir / "big2.xml", records("<r>\r\n", 300000) + "<broken");
    std::vector<std::string> sources = {"big1.xml"};
    for (int i = 0; i < 40; ++i) {
        const std::string name = "s" + std::to_string(i) + ".xml";
        writeBytes(dir / name, i % 7 == 3 ? std::string() : kNoteXml);
        sources.push_back(name);
    }
    sources.insert(sources.begin() + 20, "big2.xml");
    sources.push_back("big2.xml");
    std::map<std::string, std::map<std::string, std::string>> files;
    std::map<std::string, Result> runs;
    for (const char* jobs : {"1", "2", "3"}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        std::vector<std::string> args = {"convert", "-j", jobs, "-o", "out", "--report", "-"};
        args.insert(args.end(), sources.begin(), sources.end());
        runs[jobs] = runCli(dir.path(), args);
        files[jobs] = snapshot(dir / "out");
    }
    EXPECT_EQ(files["1"].size(), 42u);
    for (const char* jobs : {"2", "3"}) {
        SCOPED_TRACE(std::string(jobs) + " jobs");
        EXPECT_TRUE(files[jobs] == files["1"]);
        EXPECT_EQ(runs[jobs].exitCode, runs["1"].exitCode);
        EXPECT_EQ(runs[jobs].out, runs["1"].out);
        EXPECT_EQ(runs[jobs].err, runs["1"].err);
    }
}

TEST(BadInput, ProgressAppearsOnlyOnATerminal) {
    TempDir dir;
    writeBytes(dir / "good.xml", kNoteXml);
    writeBytes(dir / "empty.xml", "");
    for (const char* quiet : {"", "-q"}) {
        SCOPED_TRACE(quiet);
        std::vector<std::string> args = {"convert", "good.xml"};
        if (*quiet) args.push_back(quiet);
        auto r = runCli(dir.path(), args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "");
    }
    if (!haveTool("script")) GTEST_SKIP() << "script (util-linux) is not installed";

    auto shown = runInTerminal(dir.path(), {"convert", "good.xml"});
    EXPECT_EQ(shown.exitCode, 0) << shown.out;
    EXPECT_TRUE(mentions(shown.out, "Processing: good.xml"));
    EXPECT_TRUE(mentions(shown.out, "Done."));

    auto quiet = runInTerminal(dir.path(), {"convert", "-q", "good.xml"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, "");

    // A report on a terminal stands whole on its own line, progress around it.
    auto failed = runInTerminal(dir.path(), {"convert", "empty.xml", "good.xml"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(mentions(failed.out, "marrowvale-cli: " + (dir / "empty.xml").string() + ": " +
                                         inRun("Subscript out of range", 160) + "\r\n"));
    EXPECT_TRUE(mentions(failed.out, "Done."));
}

}  // namespace
}  // namespace mv::test
