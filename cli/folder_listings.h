// Which names a result folder lacks, read from the folder once a command.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mv::cli {

// The names a result folder held when the command first looked at it in
// full, so that a result that is not there yet costs no look of its own.
// Only absence is taken from it: a name it holds (or whose hash meets one
// it holds) is looked at as before. A result that an earlier file of the
// command makes later is known otherwise (the files meet by the result's
// name, or one claims a result another claimed earlier), and nothing else
// of the command makes names.
class FolderListings {
public:
    // False only when the listing of the path's folder shows that it lacks
    // the path's last name.
    bool mayHold(std::string_view path);

private:
    // `folder` with its slash.
    bool mayHoldIn(std::string_view folder, std::string_view name);
    // A folder is read once it has been asked for this often: a few
    // results need not pay for reading a large folder.
    static constexpr unsigned kAsksBeforeReading = 8;
    static constexpr std::size_t kMostNames = 32768;  // per folder; a larger one is not kept
    static constexpr std::size_t kMostListings = 16;
    // Folders counted at once; beyond, the counts of those not kept go.
    static constexpr std::size_t kMostFolders = 4096;
    struct Listing {
        unsigned asks = 0;
        bool complete = false;           // read whole, and small enough to keep
        std::vector<std::size_t> names;  // hashes, in order
    };
    void read(const std::string& folder, Listing& listing);

    std::unordered_map<std::string, Listing> m_listings;
    std::string m_last;  // the folder asked for last, and its listing
    Listing* m_lastListing = nullptr;
    std::size_t m_read = 0;
};

}  // namespace mv::cli
