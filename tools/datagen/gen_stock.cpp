// The stock data archive, whose digest marks a data root, and the first track
// folder.
#include <string>
#include <utility>
#include <vector>

#include "tools/datagen/datagen.h"

std::string datagen_saf(const std::vector<std::pair<std::string, std::string>>& members)
{
    std::string directory, data;
    for (const auto& [name, bytes] : members) {
        directory += std::to_string(bytes.size()) + " " + name + "\n";
        data += bytes;
    }
    return directory + "-\n" + data;
}

namespace {

// What the stock archive holds is fixed: the game compares its digest with
// vfs_stock_archive_digest, so any change here needs that constant updated.
int write_stock_archive(const std::string& root)
{
    const std::vector<std::pair<std::string, std::string>> members = {
        {"stock/readme.txt",
         "Zentrik stock data.\n"
         "This archive marks the data root: the game checks its digest at start-up.\n"},
        {"stock/version.txt", "1\n"},
    };
    return datagen_write_text(root, "zentrik.saf", datagen_saf(members));
}

int write_track_folder(const std::string& root)
{
    return datagen_write_text(root, std::string(datagen_track_folder) + "/desc", "Practice Ground\n");
}

} // namespace

DATAGEN_STEP("00_stock_archive", write_stock_archive);
DATAGEN_STEP("01_track_folder", write_track_folder);
