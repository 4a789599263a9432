#include "cli/folder_listings.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <functional>

namespace mv::cli {

bool FolderListings::mayHoldIn(std::string_view folder, std::string_view name) {
    if (m_lastListing == nullptr || folder != m_last) {
        if (m_listings.size() >= kMostFolders) {
            std::erase_if(m_listings, [](const auto& entry) { return !entry.second.complete; });
        }
        m_last.assign(folder);
        m_lastListing = &m_listings[m_last];
    }
    Listing& listing = *m_lastListing;
    if (++listing.asks == kAsksBeforeReading && m_read < kMostListings) read(m_last, listing);
    return !listing.complete || std::binary_search(listing.names.begin(), listing.names.end(),
                                                   std::hash<std::string_view>{}(name));
}

bool FolderListings::mayHold(std::string_view path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string_view::npos) return mayHoldIn(".", path);
    return mayHoldIn(path.substr(0, slash + 1), path.substr(slash + 1));
}

void FolderListings::read(const std::string& folder, Listing& listing) {
    ++m_read;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        if (listing.names.size() == kMostNames) break;
        listing.names.push_back(std::hash<std::string_view>{}(entry->d_name));
    }
    listing.complete = errno == 0 && listing.names.size() < kMostNames;
    if (listing.complete) {
        std::sort(listing.names.begin(), listing.names.end());
    } else {
        listing.names = {};
    }
    closedir(dir);
}

}  // namespace mv::cli
