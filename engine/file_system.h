// The file-system object: the few file operations that the source reader and
// the conversion run need, on POSIX calls. Failures are thrown as
// report::Failure with the path in their description.
//
// Readers open only regular files: a FIFO, socket or device would block or
// never end, so opening one fails at once; a reader that reaches the end
// tells, when it is closed, whether the file changed while it was read.
// Writers never touch the target until they are closed: text goes to an
// unnamed temporary file in the target's folder (a named one where the file
// system has none), which Close() links in and renames over the target, so an
// interrupted run leaves the old result whole and no half-written one. A
// failed write abandons the result: nothing of it is ever published.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "report/failure.h"

namespace mv::engine {

class FolderHandle;

enum class TextFormat : int { Ansi = 0, Utf16 = -1 };

class TextReader {
public:
    TextReader() = default;
    TextReader(TextReader&& other) noexcept;
    TextReader& operator=(TextReader&& other) noexcept;
    ~TextReader();

    // Throws when the path is missing, unreadable or not a regular file.
    static TextReader open(const std::string& nativePath, TextFormat format);

    bool isOpen() const { return m_fd >= 0; }
    // The members below throw the "object not set" failure on a closed reader.
    bool AtEndOfStream();
    // Up to `count` more characters into `out`, fewer only at the end.
    void readInto(std::size_t count, std::u16string& out);
    // From now on an ANSI reading hands out its bytes as they are in the
    // file, one per character, never widened; call before the first test.
    void keepBytes();
    // The next `count` bytes of a reading that keeps its bytes.
    void readBytesInto(std::size_t count, std::string& out);
    // Consumes one line (ending at LF, CR or CR LF, the break not included)
    // and tells which marks it contains, ignoring letter case: bit i for
    // marks[i]. The line itself is never held whole, however long it is.
    // Reading stops early, the rest of the line unread, once `settled` says
    // that the marks found so far decide the caller's answer.
    unsigned readLineFinding(std::span<const std::u16string_view> marks,
                             const std::function<bool(unsigned)>& settled = {});
    // Closes the stream. After a reading to the end, throws the "file
    // changed" failure when the file's size or modification time is not what
    // it was at the opening, or the bytes read do not match that size.
    void Close();
    // Characters in the file, from its size when it was opened.
    std::int64_t totalChars() const { return m_totalChars; }

private:
    bool fill();
    void requireOpen() const;
    bool changedSinceOpen() const;
    std::size_t buffered() const { return m_rawBytes ? m_bytes.size() : m_text.size(); }

    int m_fd = -1;
    TextFormat m_format = TextFormat::Ansi;
    std::string m_path;
    std::u16string m_text;  // decoded characters not yet handed out start at m_pos
    std::size_t m_pos = 0;
    std::string m_bytes;
    int m_carry = -1;  // odd byte of a UTF-16 reading waiting for its partner
    std::int64_t m_totalChars = 0;
    std::int64_t m_openSize = 0;
    timespec m_openTime{};
    std::int64_t m_offset = 0;  // bytes consumed from the start of the file
    bool m_rawBytes = false;    // hands out m_bytes instead of decoding them
    bool m_ended = false;       // a read has returned nothing
};

class TextWriter {
public:
    TextWriter() = default;
    TextWriter(TextWriter&& other) noexcept;
    TextWriter& operator=(TextWriter&& other) noexcept;
    ~TextWriter();  // discards a file that was not closed

    // Creates the temporary file; throws when the target's folder is missing
    // or not writable, the target is a folder or a read-only file, or it is
    // a symbolic link that the kernel's protected-symlinks rule would not
    // let us follow (a link in a sticky, world-writable folder that belongs
    // neither to us nor to the folder's owner).
    static TextWriter create(const std::string& nativePath);

    bool isOpen() const { return m_fd >= 0; }
    // Writes the text as ANSI bytes. Throws "object not set" when not open.
    // A failed write abandons the result and throws.
    void Write(std::u16string_view text);
    // Writes bytes that are ANSI text already.
    void WriteBytes(std::string_view bytes);
    // Puts the complete file in place of the target. Throws, the target
    // untouched, when the result was abandoned or anything on the way fails.
    void Close();
    // Drops what was written; the target stays as it was. With a reason,
    // Close() then throws a failure that says why the result was not written.
    void Abandon(const std::string& reason = {}) noexcept;
    bool abandoned() const { return !m_abandonedBecause.empty(); }
    // Whether a file stands at the target now.
    bool targetExists() const;
    // The file system and folder of the result, for the sync at the end.
    dev_t device() const { return m_device; }
    const std::string& folder() const { return m_folder; }
    const std::string& target() const { return m_target; }
    // Close() then keeps a descriptor of the published text, which
    // releaseSyncDescriptor() hands over (-1 when there is none).
    void keepForSync() { m_keepForSync = true; }
    int releaseSyncDescriptor();

private:
    void flush();
    bool linkTo(const std::string& name);
    std::string linkUnnamed();
    int closeDescriptor();  // the errno value of a failed close, or 0
    int folderFd() const;   // the result's folder, as checked when it was begun
    report::Failure notWritten(int error) const;
    void discard() noexcept;

    int m_fd = -1;
    std::string m_target;
    std::string m_folder;
    std::shared_ptr<const FolderHandle> m_folderHandle;
    dev_t m_device = 0;
    std::string m_namedTemp;  // a temporary file with a name, while it exists
    std::string m_buffer;
    off_t m_written = 0;           // bytes in the file so far
    off_t m_writtenOut = 0;        // of those, the bytes whose write-out has begun
    int m_keepMode = -1;           // the permission bits of the result being replaced
    bool m_ordersRenames = false;  // data goes to disk before a rename over a file
    bool m_keepForSync = false;
    int m_syncFd = -1;
    std::pair<uid_t, gid_t> m_keepOwner{};
    std::string m_abandonedBecause;
};

struct File {
    std::string nativePath;
    TextReader OpenAsTextStream(TextFormat format) const;
};

// The object the reader and the run create by name; it holds nothing.
class FileSystemObject {
public:
    // Throws "file not found" for a missing path or a folder.
    File GetFile(std::u16string_view path) const;
    // Mode 2 (writing), create when missing: the text stream of a result.
    TextWriter OpenTextFile(std::u16string_view path) const;
};

// Writers keep the facts of the folder they wrote to last (name limit, file
// system); a new run forgets them, in every thread, and looks again.
void forgetFolderFacts();

// Where a file written at `path` lands, as a result does: its symbolic links
// followed, except one that another user planted in a shared folder, which
// throws the "permission denied" failure. Other files the run writes (the
// report) keep the same rule.
std::string writableTarget(const std::string& path);

// The file of an optional, or the "object not set" failure.
const File& required(const std::optional<File>& file);

}  // namespace mv::engine
