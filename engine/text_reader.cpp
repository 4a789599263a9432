#include "engine/text_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "engine/codepage.h"
#include "engine/cpu/scan.h"
#include "engine/fresh_memory.h"
#include "engine/read_ahead.h"
#include "engine/text.h"
#include "report/failure.h"

namespace mv::engine {

using report::Failure;
using report::FailureKind;
using report::systemFailure;

namespace {

constexpr std::size_t kReadBlock = 1 << 16;        // characters decoded per read
constexpr off_t kSequentialFrom = off_t{1} << 20;  // sources read with more read-ahead
// How far past a block not in the cache a reader looks before it starts a
// thread to read the rest: as far as that thread reads ahead.
constexpr std::int64_t kAheadSpan = std::int64_t{2} << 20;

}  // namespace

TextReader::TextReader(TextReader&& other) noexcept {
    *this = std::move(other);
}

TextReader& TextReader::operator=(TextReader&& other) noexcept {
    if (this != &other) {
        closeDescriptor();
        m_fd = std::exchange(other.m_fd, -1);
        m_format = other.m_format;
        m_path = std::move(other.m_path);
        m_text = std::move(other.m_text);
        m_pos = std::exchange(other.m_pos, 0);
        m_bytes = std::move(other.m_bytes);
        m_carry = std::exchange(other.m_carry, -1);
        m_totalChars = other.m_totalChars;
        m_openSize = other.m_openSize;
        m_openTime = other.m_openTime;
        m_offset = std::exchange(other.m_offset, 0);
        m_rawBytes = other.m_rawBytes;
        m_ended = other.m_ended;
        m_ahead = std::move(other.m_ahead);
        m_aheadTried = other.m_aheadTried;
        m_fromCache = other.m_fromCache;
        m_device = other.m_device;
        m_aheadStarted = other.m_aheadStarted;
        m_gathered = std::exchange(other.m_gathered, {});
    }
    return *this;
}

TextReader::~TextReader() {
    closeDescriptor();
}

void TextReader::closeDescriptor() {
    // The thread reading ahead stops before its descriptor goes.
    m_ahead.reset();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

TextReader TextReader::open(const std::string& nativePath, TextFormat format) {
    // O_NONBLOCK keeps the open itself from waiting on a FIFO without a writer.
    int fd = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) throw systemFailure(errno, nativePath);
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        int error = errno;
        ::close(fd);
        throw systemFailure(error, nativePath);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode))
            throw Failure(FailureKind::FileNotFound, nativePath + " (a folder)");
        throw Failure(FailureKind::NotARegularFile, nativePath);
    }
    TextReader reader;
    reader.m_fd = fd;
    reader.m_format = format;
    reader.m_path = nativePath;
    reader.m_openSize = st.st_size;
    reader.m_device = st.st_dev;
    reader.m_openTime = st.st_mtim;
    // A large source is read front to back once: the kernel may read further
    // ahead. A small one is read in one call and is spared the extra one.
    if (st.st_size >= kSequentialFrom) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::int64_t bytes = st.st_size;
    if (format == TextFormat::Utf16) {
        unsigned char bom[2];
        if (pread(fd, bom, 2, 0) == 2 && bom[0] == 0xFF && bom[1] == 0xFE) {
            lseek(fd, 2, SEEK_SET);
            reader.m_offset = 2;
            bytes -= 2;
        }
        reader.m_totalChars = bytes / 2;
    } else {
        reader.m_totalChars = bytes;
    }
    noteSourceOpened();
    return reader;
}

void TextReader::requireOpen() const {
    if (m_fd < 0) throw Failure(FailureKind::ObjectNotSet);
}

bool TextReader::fill() {
    m_text.clear();
    m_pos = 0;
    // A byte reading that has met the end does not ask again.
    if (m_rawBytes && m_ended) {
        m_bytes.clear();
        return false;
    }
    std::size_t want = m_format == TextFormat::Utf16 ? kReadBlock * 2 : kReadBlock;
    if (m_rawBytes && !m_aheadTried) {
        m_aheadTried = true;
        const bool large = m_openSize >= kSequentialFrom;
        // Nothing reads ahead with one core, and a file in memory is never
        // waited for: either is read several blocks a call.
        m_gathered.on = large && (!readAheadOn() || inMemory(m_fd));
        m_fromCache = large && readAheadOn() && !m_gathered.on;
    }
    if (m_fromCache && fillFromCache(want)) return !m_bytes.empty();
    if (m_ahead) {
        // The same blocks as the reads below would give, read on the thread.
        BlockReadAhead::Block block = m_ahead->next(std::move(m_bytes));
        m_bytes = std::move(block.bytes);
        m_pos = 0;
        if (block.error != 0) {
            // The reads after a failure, if any, are made here as before.
            m_ahead.reset();
            failRead(block.error);
        }
        m_offset += static_cast<std::int64_t>(m_bytes.size());
        if (block.ended) {
            m_ended = true;
            m_ahead.reset();
        }
        return !m_bytes.empty();
    }
    // A call for four blocks costs less than four calls (100 MB from
    // memory: 14 ms against 17 ms).
    if (m_gathered.on) return fillGathered(want);
    // A large source's blocks change hands with a ring of chunk buffers,
    // fresh memory at first; a small one reuses what the last file freed.
    if (m_openSize >= kSequentialFrom) {
        resizeFaultedIn(m_bytes, want);
    } else {
        m_bytes.resize(want);
    }
    // With more than one core, a read that waits for the disk sets the next
    // sources of the list being asked for ahead.
    const BlockRead read =
        readAheadOn() && !slowReadSeen()
            ? readBlockNotingSlow(m_fd, m_device, m_bytes.data(), want, m_offset, m_openSize)
            : readBlock(m_fd, m_bytes.data(), want, m_offset, m_openSize);
    if (read.error != 0) failRead(read.error);
    if (read.ended) m_ended = true;
    const std::size_t got = read.got;
    m_offset += static_cast<std::int64_t>(got);
    if (m_rawBytes) {
        m_bytes.resize(got);
        m_pos = 0;
        return got > 0;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_bytes.data());
    if (m_format == TextFormat::Ansi) {
        decodeAnsi(bytes, got, m_text);
    } else {
        // Little-endian pairs; an odd byte waits for its partner in the next read.
        std::size_t i = 0;
        if (m_carry >= 0 && got > 0) {
            m_text += static_cast<char16_t>(m_carry | (bytes[0] << 8));
            m_carry = -1;
            i = 1;
        }
        std::size_t pairs = (got - i) / 2;
        std::size_t at = m_text.size();
        m_text.resize(at + pairs);
        for (std::size_t k = 0; k < pairs; ++k) {
            m_text[at + k] = static_cast<char16_t>(bytes[i + 2 * k] | (bytes[i + 2 * k + 1] << 8));
        }
        i += pairs * 2;
        if (i < got) m_carry = bytes[i];  // dropped if the file ends here
    }
    return !m_text.empty();
}

void TextReader::failRead(int error) {
    // Nothing of a failed read is handed out later as if it were text.
    m_bytes.clear();
    m_pos = 0;
    throw systemFailure(error, m_path);
}

void TextReader::startReadAhead(std::size_t want) {
    m_fromCache = false;
    m_ahead = std::make_unique<BlockReadAhead>(m_fd, m_offset, m_openSize, want);
    m_aheadStarted = true;
}

// Reads the next block into m_bytes while it is in the page cache, or finishes
// one that stops short of it with the ordinary read, so that every block
// holds the same bytes either way; the blocks after that are read ahead on a
// thread. False when the block is left for that thread to read.
bool TextReader::fillFromCache(std::size_t want) {
    resizeFaultedIn(m_bytes, want);
    const CachedRead cached = readCachedBlock(m_fd, m_bytes.data(), want, m_offset, m_openSize);
    BlockRead read = cached.read;
    bool startAhead = false;
    if (!cached.complete) {
        noteSlowRead();
        // The thread pays only where the bytes after this block are missing
        // too, not for a page or two dropped from a file read before.
        const std::int64_t next = m_offset + static_cast<std::int64_t>(want);
        startAhead = !mostlyCached(m_fd, next, std::min(kAheadSpan, m_openSize - next));
        if (read.got == 0 && startAhead) {
            startReadAhead(want);
            return false;
        }
        read = finishBlock(m_fd, m_bytes.data(), want, m_offset, m_openSize, read);
    }
    if (read.error != 0) {
        m_fromCache = false;
        failRead(read.error);
    }
    m_bytes.resize(read.got);
    m_pos = 0;
    m_offset += static_cast<std::int64_t>(read.got);
    if (read.ended) {
        m_ended = true;
        m_fromCache = false;
    } else if (startAhead) {
        startReadAhead(want);
    }
    return true;
}

bool TextReader::fillGathered(std::size_t want) {
    static_assert(kGathered <= kMostBlocksACall);
    Gathered& g = m_gathered;
    if (g.next == g.count) {
        std::array<char*, kGathered> into{};
        for (std::size_t i = 0; i < kGathered; ++i) {
            resizeFaultedIn(g.blocks[i], want);
            into[i] = g.blocks[i].data();
        }
        g.count = readBlocks(m_fd, into, want, m_offset, m_openSize, g.reads);
        g.next = 0;
    }
    // The block changes hands; the buffer given back is the next call's.
    const BlockRead read = g.reads[g.next];
    m_bytes.swap(g.blocks[g.next++]);
    if (read.error != 0) failRead(read.error);
    m_bytes.resize(read.got);
    m_pos = 0;
    m_offset += static_cast<std::int64_t>(read.got);
    if (read.ended) m_ended = true;
    return read.got > 0;
}

bool TextReader::AtEndOfStream() {
    requireOpen();
    return m_pos == buffered() && !fill();
}

void TextReader::keepBytes() {
    requireOpen();
    if (m_format != TextFormat::Ansi || !m_text.empty()) {
        throw Failure(FailureKind::InvalidArgument, "bytes from a decoded reading");
    }
    m_rawBytes = true;
}

void TextReader::readBytesInto(std::size_t count, std::string& out) {
    requireOpen();
    if (!m_rawBytes) throw Failure(FailureKind::InvalidArgument, "bytes from a decoded reading");
    if (m_pos == m_bytes.size() && !fill()) {
        out.clear();
        return;
    }
    // A whole block changes hands; the buffer given back is refilled in
    // place, without clearing it first.
    if (m_pos == 0 && m_bytes.size() == count) {
        out.swap(m_bytes);
        m_pos = m_bytes.size();
        return;
    }
    out.clear();
    while (out.size() < count) {
        if (m_pos == m_bytes.size() && !fill()) break;
        std::size_t take = std::min(count - out.size(), m_bytes.size() - m_pos);
        out.append(m_bytes, m_pos, take);
        m_pos += take;
    }
}

void TextReader::readInto(std::size_t count, std::u16string& out) {
    requireOpen();
    out.clear();
    // A whole decoded block that is exactly what was asked for changes hands
    // without a copy.
    if (m_pos == m_text.size() && !fill()) return;
    if (m_pos == 0 && m_text.size() == count) {
        out.swap(m_text);
        m_text.clear();
        return;
    }
    while (out.size() < count) {
        if (m_pos == m_text.size() && !fill()) break;
        std::size_t take = std::min(count - out.size(), m_text.size() - m_pos);
        out.append(m_text, m_pos, take);
        m_pos += take;
    }
}

unsigned TextReader::readLineFinding(std::span<const std::u16string_view> marks,
                                     const std::function<bool(unsigned)>& settled) {
    requireOpen();
    std::size_t longest = 1;
    for (auto mark : marks) longest = std::max(longest, mark.size());
    unsigned found = 0;
    std::u16string window;  // the part of the line still to be searched
    auto search = [&] {
        for (std::size_t i = 0; i < marks.size(); ++i) {
            if (!window.empty() && findFrom(Pos(1), window, marks[i], Case::Ignore).found()) {
                found |= 1u << i;
            }
        }
    };
    while (m_pos < m_text.size() || fill()) {
        // Marks and line breaks are ASCII; a stretch without ASCII holds
        // neither (the usual sight when ANSI text is read as UTF-16).
        std::size_t ascii = cpu::ascii(m_text.data(), m_pos, m_text.size());
        if (ascii == cpu::kNone) {
            window.clear();
            m_pos = m_text.size();
            continue;
        }
        if (ascii > m_pos) window.clear();
        m_pos = ascii;
        std::size_t brk = findEitherUnit(m_text, m_pos, u'\r', u'\n');
        std::size_t end = brk == std::u16string::npos ? m_text.size() : brk;
        window.append(m_text, m_pos, end - m_pos);
        m_pos = end;
        search();
        if (settled && settled(found)) return found;
        if (brk != std::u16string::npos) {
            char16_t c = m_text[m_pos++];
            if (c == u'\r' && (m_pos < m_text.size() || fill()) && m_text[m_pos] == u'\n') ++m_pos;
            return found;
        }
        // Keep only what a mark could still need across the next block.
        if (window.size() >= longest) window.erase(0, window.size() - (longest - 1));
    }
    return found;
}

bool TextReader::changedSinceOpen() const {
    struct stat st {};
    if (fstat(m_fd, &st) != 0) return true;
    return st.st_size != m_openSize || m_offset != m_openSize ||
           st.st_mtim.tv_sec != m_openTime.tv_sec || st.st_mtim.tv_nsec != m_openTime.tv_nsec;
}

void TextReader::Close() {
    requireOpen();
    // Only a reading that went to the end can tell a whole file from a file
    // cut short or grown under it.
    const bool changed = m_ended && changedSinceOpen();
    closeDescriptor();
    if (changed) throw Failure(FailureKind::FileChanged, m_path);
}

}  // namespace mv::engine
