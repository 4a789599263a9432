#include "cli/message.h"

#include <cstdio>

#include "cli/escape.h"
#include "engine/native_text.h"

namespace mv::cli {

void printMessage(const std::string& text) {
    std::string line = "marrowvale-cli: " + escapeForTerminal(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void printMessage(std::u16string_view text) {
    printMessage(engine::toNative(text));
}

}  // namespace mv::cli
