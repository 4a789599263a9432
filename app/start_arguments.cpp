#include "app/start_arguments.h"

#include "engine/native_text.h"
#include "ui/qt_text.h"

namespace mv::app {

StartArguments parseStartArguments(const std::vector<std::string>& arguments,
                                   const std::string& currentFolder) {
    StartArguments result;
    bool options = true;
    for (const std::string& argument : arguments) {
        if (options && argument == "--") {
            options = false;
            continue;
        }
        if (options && argument.size() > 1 && argument.front() == '-') {
            result.error = "marrowvale: unknown option " + argument + "\n" + kWindowUsage;
            result.paths.clear();
            return result;
        }
        if (argument.empty()) continue;
        std::string path = argument;
        if (path.front() != '/') {
            path = currentFolder + (currentFolder.ends_with('/') ? "" : "/") + path;
        }
        result.paths.append(ui::toQString(engine::fromNative(path)));
    }
    return result;
}

}  // namespace mv::app
