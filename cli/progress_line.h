// The progress line of a run on a terminal: files done of the files listed so
// far ("+" while the list is still being read), the bytes of the sources
// done, and the file being converted. It only moves forward and is cut to
// the terminal's width, so it never wraps onto a second line.
#pragma once

#include <cstdint>
#include <string>

namespace mv::cli {

struct Progress {
    std::int64_t done = 0;
    std::int64_t listed = 0;
    bool listComplete = false;
    std::int64_t bytes = 0;
    std::string current;  // escaped for the terminal
};

// "1.5 MB", "312 B": decimal units.
std::string byteCount(std::int64_t bytes);
std::string progressLine(const Progress& progress, std::size_t columns);
// Columns of the terminal on the descriptor; COLUMNS or 80 when unknown.
std::size_t terminalColumns(int fd);

}  // namespace mv::cli
