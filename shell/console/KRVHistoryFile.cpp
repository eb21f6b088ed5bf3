#include "console/KRVHistoryFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "files/KRVSafeFile.h"

std::string KRVHistoryFile::GetDefaultPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // A relative XDG path is to be ignored, as if it were not set.
    if (state != nullptr && state[0] == '/') {
        return std::string(state) + "/krv/history";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        return std::string();
    }
    return std::string(home) + "/.local/state/krv/history";
}

std::vector<std::string> KRVHistoryFile::Load() const {
    std::vector<std::string> lines;
    if (mPath.empty()) {
        return lines;
    }
    std::ifstream file(mPath);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    if (lines.size() > kMaxLines) {
        lines.erase(lines.begin(), lines.end() - kMaxLines);
    }
    return lines;
}

bool KRVHistoryFile::Save(const std::vector<std::string>& inLines) const {
    if (mPath.empty() || !MakeFolders(mPath)) {
        return false;
    }
    KRVSafeFile file;
    if (!file.Open(mPath)) {
        return false;
    }
    size_t first = inLines.size() > kMaxLines ? inLines.size() - kMaxLines : 0;
    for (size_t i = first; i < inLines.size(); i++) {
        std::fprintf(file.GetStream(), "%s\n", inLines[i].c_str());
    }
    return file.Commit();
}

// Every folder above the file, made private as a state folder should be.
bool KRVHistoryFile::MakeFolders(const std::string& inPath) {
    for (size_t slash = inPath.find('/', 1); slash != std::string::npos;
         slash = inPath.find('/', slash + 1)) {
        std::string folder = inPath.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}
