#include "cli/sources.h"

#include <filesystem>

#include "app/run/paths.h"
#include "engine/native_text.h"
#include "filelist/scan/folder_scan.h"
#include "report/locations.h"
#include "report/step_runner.h"

namespace mv::cli {

void forEachSource(const std::vector<std::string>& arguments, std::u16string_view pattern,
                   const std::function<void(const std::u16string& path)>& take,
                   report::ErrorReport& report) {
    for (const auto& argument : arguments) {
        // Rows hold full paths, as the window's list does; a relative name
        // would otherwise put its result "beside" it in the root folder.
        std::error_code error;
        auto full = std::filesystem::absolute(argument, error);
        if (error) {
            // A relative name whose current folder is gone has no full path;
            // its result would land in the root folder.
            report::StepRunner step(report, report::locations::kPushButton7Click);
            step(118, [&] {
                throw report::Failure(report::FailureKind::PathNotFound,
                                      argument + " (the current folder is gone)");
            });
            continue;
        }
        std::u16string path = engine::fromNative(full.string());
        if (app::IsFolder(path)) {
            while (path.size() > 1 && path.back() == app::kNativeSeparator) path.pop_back();
            filelist::ScanFolderTree(path, pattern, take, {}, report);
        } else {
            take(path);
        }
    }
}

}  // namespace mv::cli
