#pragma once

#include <string>
#include <utility>
#include <vector>

// The console's command lines kept from one run to the next, one line each
// in $XDG_STATE_HOME/krv/history (~/.local/state/krv/history by default).
// Nothing here ever prints: with no home, or a folder that cannot be
// written, the history is simply not kept.
class KRVHistoryFile {
public:
    static constexpr size_t kMaxLines = 1000;

    // The file's path from the environment, or empty when there is no home.
    static std::string GetDefaultPath();

    explicit KRVHistoryFile(std::string inPath) : mPath(std::move(inPath)) {}

    // The kept lines, oldest first; none when the file cannot be read.
    std::vector<std::string> Load() const;
    // Replaces the file with the last kMaxLines of inLines. The old file
    // stays whole until the new one is complete (write beside, then rename).
    bool Save(const std::vector<std::string>& inLines) const;

private:
    static bool MakeFolders(const std::string& inPath);

    std::string mPath;
};
