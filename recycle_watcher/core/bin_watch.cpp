#include "bin_watch.h"

namespace wastewatch {

namespace {

// Joins the parts into a NUL-terminated path; false when they do not fit whole.
bool ComposePath(char (&path)[kFolderPathCapacity], std::string_view a, std::string_view b = {},
                 std::string_view c = {}) noexcept {
    std::size_t length = 0;
    for (std::string_view part : {a, b, c}) {
        if (part.size() >= kFolderPathCapacity - length) return false;
        for (char ch : part) path[length++] = ch;
    }
    path[length] = '\0';
    return true;
}

}  // namespace

BinWatchPlan PlanBinWatch(std::uint32_t fixedDrives, std::string_view sid, FolderQuery folderExists) noexcept {
    BinWatchPlan plan;
    for (std::size_t drive = 0; drive < kDriveCount; ++drive) {
        if ((fixedDrives & (1u << drive)) == 0) continue;
        const char rootText[] = {static_cast<char>('A' + drive), ':', '\\'};
        const std::string_view root(rootText, sizeof rootText);
        WatchedFolder& watched = plan.folders[plan.count++];
        watched.isBin = false;
        ComposePath(watched.path, root);

        char candidate[kFolderPathCapacity];
        const bool withSid = !sid.empty();
        const bool found = (withSid && ComposePath(candidate, root, "$Recycle.Bin\\", sid) &&
                            folderExists(candidate)) ||
                           (withSid && ComposePath(candidate, root, "RECYCLER\\", sid) && folderExists(candidate)) ||
                           (ComposePath(candidate, root, "RECYCLED") && folderExists(candidate));
        if (!found) {
            for (std::string_view parent : {std::string_view("$Recycle.Bin"), std::string_view("RECYCLER")}) {
                if (ComposePath(candidate, root, parent) && folderExists(candidate)) {
                    ComposePath(watched.path, candidate);
                    break;
                }
            }
            continue;
        }
        ComposePath(watched.path, candidate);
        watched.isBin = true;
    }
    return plan;
}

}  // namespace wastewatch
