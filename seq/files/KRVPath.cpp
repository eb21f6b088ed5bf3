#include "files/KRVPath.h"

std::string KRVPath::FolderOf(const std::string& inPath) {
    std::string::size_type slash = inPath.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : inPath.substr(0, slash);
}

std::string KRVPath::LeafOf(const std::string& inPath) {
    std::string::size_type slash = inPath.rfind('/');
    return slash == std::string::npos ? inPath : inPath.substr(slash + 1);
}
