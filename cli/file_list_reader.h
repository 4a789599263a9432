// --files-from: names read one at a time from a list, so a list of any length
// runs in flat memory and never meets the limit on the size of a command's
// arguments.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace mv::cli {

// Calls `take` with every name of the stream, ended by `delimiter` ('\n' or
// '\0'; a CR before a '\n' belongs to the line end). Empty names are passed
// over. Returns false when reading failed.
bool readNames(std::FILE* stream, char delimiter,
               const std::function<void(const std::string& name)>& take);

// A file without a name in the temporary folder ($TMPDIR, else /tmp), open
// for reading and writing and gone when it is closed. Throws
// std::runtime_error when none can be made.
std::FILE* unnamedTemporaryFile(const std::string& what);

// The list of --files-from, opened before anything is converted, so that a
// list that cannot be opened touches nothing. The first pass over it keeps a
// copy of its names in an unnamed temporary file (gone with the process,
// however it ends), so that a list read from a pipe can be gone over again.
class NameList {
public:
    // "-" is standard input. Throws std::runtime_error when it cannot be opened.
    explicit NameList(const std::string& path);
    ~NameList();
    NameList(const NameList&) = delete;
    NameList& operator=(const NameList&) = delete;

    // As readNames; the first call reads the list, later ones the copy.
    // Throws std::runtime_error when the list or its copy could not be read
    // to its end.
    void forEach(char delimiter, const std::function<void(const std::string& name)>& take);

private:
    std::string m_path;
    // The streams' buffers: a list of thousands of names is read, copied and
    // read again in blocks of 64 KB, a call each instead of sixteen of a
    // stream's own 4 KB. The streams are closed before these go.
    std::unique_ptr<char[]> m_fileBlock;
    std::unique_ptr<char[]> m_copyBlock;
    std::FILE* m_file = nullptr;
    bool m_owned = false;
    std::FILE* m_copy = nullptr;
};

}  // namespace mv::cli
