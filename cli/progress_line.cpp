#include "cli/progress_line.h"

#include <sys/ioctl.h>

#include <cstdio>
#include <cstdlib>

#include "cli/escape.h"

namespace mv::cli {

std::string byteCount(std::int64_t bytes) {
    static const char* units[] = {"B", "kB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1000 && unit < 5) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
    } else {
        std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    }
    return text;
}

std::string progressLine(const Progress& progress, std::size_t columns) {
    std::string line = "[";
    line += std::to_string(progress.done);
    line += '/';
    line += std::to_string(progress.listed);
    if (!progress.listComplete) line += '+';
    line += " files, ";
    line += byteCount(progress.bytes);
    line += ']';
    if (!progress.current.empty()) {
        line += ' ';
        line += progress.current;
    }
    // One column stays free: a line that fills the last one wraps on some terminals.
    std::size_t room = columns > 1 ? columns - 1 : 1;
    if (displayWidth(line) <= room) return line;
    return fitWidth(line, room);
}

std::size_t terminalColumns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* env = std::getenv("COLUMNS")) {
        long value = std::strtol(env, nullptr, 10);
        if (value > 0) return static_cast<std::size_t>(value);
    }
    return 80;
}

}  // namespace mv::cli
