#include "engine/source_reader.h"

#include <array>

#include "engine/codepage.h"
#include "report/locations.h"

namespace mv::engine {

namespace {

constexpr std::u16string_view kDeclarationMark = u"xml version";
constexpr std::u16string_view kUtf16Mark = u"encoding=\"utf-16\"";
constexpr std::u16string_view kUtf32Mark = u"encoding=\"utf-32\"";
constexpr std::array<std::u16string_view, 3> kMarks = {kDeclarationMark, kUtf16Mark, kUtf32Mark};
enum : unsigned { kHasDeclaration = 1, kHasUtf16 = 2, kHasUtf32 = 4 };

// The numbered steps of one reading of the first line; the UTF-16 reading
// repeats the ANSI one under its own numbers.
struct LineSteps {
    int open, endTest, readLine, declarationTest, utf16Test, utf32Test, close;
};
constexpr LineSteps kAnsiReading{104, 110, 114, 118, 124, 128, 136};
constexpr LineSteps kUtf16Reading{144, 148, 152, 156, 162, 166, 174};

void readFirstLine(report::StepRunner& step, const std::optional<File>& file, TextFormat format,
                   const LineSteps& n, Flag16 checkEncoding, Flag16 checkDeclaration,
                   Flag16& result) {
    TextReader stream;
    unsigned found = 0;
    step(n.open, [&] { stream = required(file).OpenAsTextStream(format); });
    // Only the first line is ever read.
    if (step.test(n.endTest, [&] { return !stream.AtEndOfStream(); })) {
        // A long first line need not be read to its end once a mark that
        // decides every question asked has been seen.
        auto settled = [&](unsigned marks) {
            bool declarationSettled = !checkDeclaration.isYes() || (marks & kHasDeclaration) != 0;
            bool encodingSettled = !checkEncoding.isYes() || (marks & (kHasUtf16 | kHasUtf32)) != 0;
            return declarationSettled && encodingSettled;
        };
        step(n.readLine, [&] { found = stream.readLineFinding(kMarks, settled); });
        if (checkDeclaration.isYes()) {
            if (step.test(n.declarationTest, [&] { return (found & kHasDeclaration) == 0; })) {
                result = kYes;
            }
        }
        if (checkEncoding.isYes()) {
            if (step.test(n.utf16Test, [&] { return (found & kHasUtf16) != 0; })) result = kYes;
            if (step.test(n.utf32Test, [&] { return (found & kHasUtf32) != 0; })) result = kYes;
        }
    }
    step(n.close, [&] { stream.Close(); });
}

}  // namespace

Flag16 CheckFirsrStringFSO(std::u16string_view path, Flag16 checkEncoding, Flag16 checkDeclaration,
                           report::ErrorReport& report) {
    report::StepRunner step(report, report::locations::kCheckFirsrStringFSO);
    FileSystemObject fso;
    std::optional<File> file;
    Flag16 result = kNo;
    step(102, [&] { file = fso.GetFile(path); });
    readFirstLine(step, file, TextFormat::Ansi, kAnsiReading, checkEncoding, checkDeclaration,
                  result);
    // Only the UTF-16 reading answers the encoding question; for the
    // declaration question it is asked only when the ANSI reading found none.
    if (checkEncoding.isYes() || result.isYes()) {
        result = kNo;
        readFirstLine(step, file, TextFormat::Utf16, kUtf16Reading, checkEncoding, checkDeclaration,
                      result);
    }
    return result;
}

ChunkReader::ChunkReader(std::u16string_view path, report::ErrorReport& report)
    : m_step(report, report::locations::kReadFileToStringFSO) {
    FileSystemObject fso;
    std::optional<File> file;
    Flag16 decoding = kNo;
    m_step(102, [&] { file = fso.GetFile(path); });
    m_step(104, [&] { decoding = CheckFirsrStringFSO(path, kYes, kNo, report); });
    m_step(106, [&] {
        m_stream = required(file).OpenAsTextStream(decoding.isYes() ? TextFormat::Utf16
                                                                    : TextFormat::Ansi);
    });
    m_opened = m_stream.isOpen();
    m_utf16 = decoding.isYes();
}

std::u16string SourceChunk::text() const {
    if (utf16) return wide;
    std::u16string out;
    decodeAnsi(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
    return out;
}

bool ChunkReader::next(SourceChunk& chunk) {
    if (!m_stream.isOpen() || m_stuck) return false;
    chunk.utf16 = m_utf16;
    if (!m_utf16) {
        chunk.wide.clear();
        bool tested = false;
        const bool enter = m_step.loopTest(110, [&] {
            m_stream.keepBytes();
            bool end = m_stream.AtEndOfStream();
            tested = true;
            return !end;
        });
        // A test that failed is a read that failed: the file is not read whole.
        if (!tested) m_stuck = true;
        if (!enter) return false;
        bool read = m_step(114, [&] { m_stream.readBytesInto(kChunkChars, chunk.bytes); });
        if (!read) m_stuck = true;
        return read && !chunk.bytes.empty();
    }
    chunk.bytes.clear();
    return next(chunk.wide);
}

bool ChunkReader::next(std::u16string& chunk) {
    // Without a stream there is nothing to test or read: stop at once.
    if (!m_stream.isOpen() || m_stuck) return false;
    bool tested = false;
    const bool enter = m_step.loopTest(110, [&] {
        bool end = m_stream.AtEndOfStream();
        tested = true;
        return !end;
    });
    if (!tested) m_stuck = true;
    if (!enter) return false;
    chunk.clear();
    bool read = m_step(114, [&] { m_stream.readInto(kChunkChars, chunk); });
    // A read error leaves the stream where it was; one report is enough.
    if (!read) m_stuck = true;
    return read && !chunk.empty();
}

void ChunkReader::close() {
    if (m_stream.isOpen() && !m_step(118, [&] { m_stream.Close(); })) m_changed = true;
}

std::int64_t ChunkReader::expectedChunks() const {
    std::int64_t chars = m_stream.totalChars();
    return (chars + static_cast<std::int64_t>(kChunkChars) - 1) /
           static_cast<std::int64_t>(kChunkChars);
}

ChunkList ReadFileToStringFSO(std::u16string_view path, report::ErrorReport& report) {
    ChunkReader reader(path, report);
    ChunkList chunks;
    std::u16string chunk;
    while (reader.next(chunk)) chunks.push_back(chunk);
    reader.close();
    return chunks;
}

}  // namespace mv::engine
