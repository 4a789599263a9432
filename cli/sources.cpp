#include "cli/sources.h"

#include <filesystem>
#include <utility>

#include "engine/native_text.h"
#include "engine/text.h"
#include "paths/paths.h"
#include "report/locations.h"
#include "report/step_runner.h"
#include "walk/folder_scan.h"

namespace mv::cli {

namespace {

constexpr char16_t kSep = paths::kNativeSeparator;

bool isJsonFile(std::u16string_view path) {
    constexpr std::u16string_view kJson = u".json";
    if (path.size() < kJson.size()) return false;
    auto tail = path.substr(path.size() - kJson.size());
    for (std::size_t i = 0; i < kJson.size(); ++i) {
        if (engine::foldCase(tail[i]) != kJson[i]) return false;
    }
    return true;
}

}  // namespace

// The command never changes its current folder, so one look at it serves
// every relative name of the run; a current folder that is gone stays gone.
std::filesystem::path fullPath(const std::string& argument, std::error_code& error) {
    std::filesystem::path given(argument);
    if (given.empty() || given.is_absolute()) return std::filesystem::absolute(given, error);
    static const auto current = [] {
        std::error_code failure;
        auto path = std::filesystem::current_path(failure);
        return std::pair{path, failure};
    }();
    error = current.second;
    return error ? std::filesystem::path() : current.first / given;
}

void forEachSource(const std::string& argument, bool allFiles,
                   const std::function<void(const Source& source)>& take,
                   report::ErrorReport& report,
                   const std::function<void(const std::u16string& folder)>& passedOver) {
    // Rows hold full paths, as the window's list does; a relative name
    // would otherwise put its result "beside" it in the root folder.
    std::error_code error;
    auto full = fullPath(argument, error);
    if (error) {
        // A relative name whose current folder is gone has no full path;
        // its result would land in the root folder.
        report::StepRunner step(report, report::locations::kPushButton7Click);
        step(118, [&] {
            throw report::Failure(report::FailureKind::PathNotFound,
                                  argument + " (the current folder is gone)");
        });
        return;
    }
    std::u16string path = engine::fromNative(full.string());
    if (!paths::IsFolder(path)) {
        take(Source{path, {}, argument});
        return;
    }
    while (path.size() > 1 && path.back() == kSep) path.pop_back();
    path = paths::CollapseBackslashes(path);
    std::string listed = argument;
    while (listed.size() > 1 && listed.back() == '/') listed.pop_back();
    if (listed != "/") listed += '/';
    const std::size_t base = path.size() == 1 ? 1 : path.size() + 1;
    walk::ScanFolderTree(
        path, allFiles ? u"*.*" : u"*.xml",
        [&](const std::u16string& file) {
            if (allFiles && isJsonFile(file)) return;
            Source source;
            source.path = file;
            std::u16string below = file.substr(std::min(base, file.size()));
            auto slash = below.find_last_of(kSep);
            if (slash != std::u16string::npos) source.subfolder = below.substr(0, slash + 1);
            source.name = listed + engine::toNative(below);
            take(source);
        },
        {}, report, true, passedOver);
}

bool placeUnderParents(Source& source) {
    std::string below;
    std::size_t start = 0;
    const std::string& name = source.name;
    while (start < name.size()) {
        std::size_t end = std::min(name.find('/', start), name.size());
        std::string_view part(name.data() + start, end - start);
        if (part == "..") return false;
        // Empty and "." parts add nothing; the last part is the file's name.
        if (end < name.size() && !part.empty() && part != ".") {
            below.append(part);
            below += '/';
        }
        start = end + 1;
    }
    source.subfolder = engine::fromNative(below);
    return true;
}

}  // namespace mv::cli
