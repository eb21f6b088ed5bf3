#pragma once

#include <string>

// The two parts of a file path, split at its last slash.
class KRVPath {
public:
    // The folder a path names its file in: "." for a bare name, "/" for a
    // name in the root folder.
    static std::string FolderOf(const std::string& inPath);
    // What follows the last slash: the whole path when it has none, nothing
    // when it ends in one.
    static std::string LeafOf(const std::string& inPath);
};
