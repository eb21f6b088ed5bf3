#include "console/KRVCompleter.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>

#include "actions/KRVSelectionFitToKey.h"
#include "actions/KRVSelectionFitToScale.h"
#include "commands/KRVCommandTable.h"
#include "commands/KRVWords.h"
#include "files/KRVPath.h"

namespace {

bool StartsWith(const std::string& inText, const std::string& inStart) {
    return inText.compare(0, inStart.size(), inStart) == 0;
}

}  // namespace

// The words before the one being typed are split as the shell splits them;
// the one being typed is what follows the last blank between words, which
// may be nothing yet.
std::vector<std::string> KRVCompleter::Complete(const std::string& inLine) {
    std::size_t typedStart = 0;
    KRVLineWords().Split(inLine, &typedStart);
    std::vector<std::string> before = KRVSplitWords(inLine.substr(0, typedStart));
    std::vector<std::string> typed = KRVSplitWords(inLine.substr(typedStart));
    std::string start = typed.empty() ? std::string() : typed[0];
    if (before.empty()) {
        return CompleteCommand(start);
    }
    const KRVCommand* command = KRVCommandTable::Find(before[0]);
    if (command == nullptr) {
        return {};
    }
    const KRVArgumentKind kind = command->GetArgumentKind(static_cast<int>(before.size()));
    if (const char* word = KRVArgumentWord(kind)) {
        return StartsWith(word, start) ? std::vector<std::string>{word}
                                       : std::vector<std::string>{};
    }
    switch (kind) {
        case KRVArgumentKind::kFile:
        case KRVArgumentKind::kHostCommand:
            return CompleteFile(start);
        case KRVArgumentKind::kKey:
            return CompleteKey(start);
        case KRVArgumentKind::kScale:
            return CompleteScale(start);
        default:
            return {};
    }
}

std::string KRVCompleter::GetTypedWord(const std::string& inLine) {
    std::size_t typedStart = 0;
    KRVLineWords().Split(inLine, &typedStart);
    return inLine.substr(typedStart);
}

std::vector<std::string> KRVCompleter::CompleteCommand(const std::string& inStart) {
    std::vector<std::string> found;
    for (int row = 0; row < KRVCommandTable::GetCount(); row++) {
        const KRVCommand& command = KRVCommandTable::Get(row);
        for (const char* word : {command.mName, command.mAlias}) {
            if (word[0] != '\0' && StartsWith(word, inStart)) {
                found.push_back(word);
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// fitkey reads key names in any case, so "db" finds "Db".
std::vector<std::string> KRVCompleter::CompleteKey(const std::string& inStart) {
    std::vector<std::string> found;
    for (int key = 0; key < KRVSelectionFitToKey::GetKeyNameCount(); key++) {
        std::string name =
            KRVSelectionFitToKey::GetKeyName(static_cast<KRVSelectionFitToKey::Key>(key));
        if (strncasecmp(name.c_str(), inStart.c_str(), inStart.size()) == 0 &&
            name.size() >= inStart.size()) {
            found.push_back(KRVEscapeWord(name));
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A name of two words is offered as one, its blank escaped: fitkey reads
// it either way.
std::vector<std::string> KRVCompleter::CompleteScale(const std::string& inStart) {
    std::vector<std::string> found;
    for (int scale = 0; scale < KRVSelectionFitToScale::GetScaleCount(); scale++) {
        std::string name = KRVSelectionFitToScale::GetScaleName(scale);
        if (strncasecmp(name.c_str(), inStart.c_str(), inStart.size()) == 0) {
            found.push_back(KRVEscapeWord(name));
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Names in the folder part of the word that begin with the rest; hidden
// files only when the rest begins with a dot. Candidates keep the folder
// part as it was typed.
std::vector<std::string> KRVCompleter::CompleteFile(const std::string& inStart) {
    std::string start = KRVPath::LeafOf(inStart);
    std::string folder = inStart.substr(0, inStart.size() - start.size());
    std::vector<std::string> found;
    DIR* directory = opendir(KRVPath::FolderOf(inStart).c_str());
    if (directory == nullptr) {
        return found;
    }
    while (const dirent* entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name == "." || name == ".." || !StartsWith(name, start) ||
            (name[0] == '.' && start.empty())) {
            continue;
        }
        struct stat info;
        bool isFolder = stat((folder + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        found.push_back(KRVEscapeWord(folder + name) + (isFolder ? "/" : ""));
    }
    closedir(directory);
    std::sort(found.begin(), found.end());
    return found;
}
