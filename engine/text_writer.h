// The atomic writer of results. Writers never touch the target until they are
// closed: text goes to an unnamed temporary file in the target's folder (a
// named one where the file system has none), which Close() links in and
// renames over the target, so an interrupted run leaves the old result whole
// and no half-written one. A failed write abandons the result: nothing of it
// is ever published. Failures are thrown as report::Failure.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "report/failure.h"

namespace mv::engine {

class FolderHandle;

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
    // neither to us nor to the folder's owner). With `seenFree` the caller
    // has just seen nothing at the target, and it is not looked at again: a
    // file that appears there meanwhile is replaced, as one that appears
    // while the text is written.
    static TextWriter create(const std::string& nativePath, bool seenFree = false);

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
    // Writes the gathered text, then `more`.
    void flush(std::string_view more = {});
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

// Writers keep the facts of the folder they wrote to last (name limit, file
// system); a new run forgets them, in every thread, and looks again.
void forgetFolderFacts();

}  // namespace mv::engine
