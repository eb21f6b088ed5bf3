#include "KRVCompleter.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>

#include "KRVSelectionFitToKey.h"
#include "KRVShell.h"
#include "KRVWords.h"

namespace {

// The line split as the tokeniser splits it (blanks, backslashes, quotes),
// keeping a last, still empty word when the line ends in a blank: that is
// the word being started. outTypedStart is where the last word begins.
std::vector<std::string> SplitWords(const std::string& inLine, size_t& outTypedStart) {
    std::vector<std::string> words(1);
    bool escaped = false;
    char quote = '\0';
    outTypedStart = 0;
    for (size_t i = 0; i < inLine.size(); i++) {
        char ch = inLine[i];
        if (escaped) {
            words.back() += ch;
            escaped = false;
        } else if (quote != '\0') {
            if (ch == quote) {
                quote = '\0';
            } else {
                words.back() += ch;
            }
        } else if (ch == ' ') {
            if (i > outTypedStart) {
                words.emplace_back();
            }
            outTypedStart = i + 1;
        } else if (ch == '\\') {
            escaped = true;
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
        } else {
            words.back() += ch;
        }
    }
    return words;
}

bool StartsWith(const std::string& inText, const std::string& inStart) {
    return inText.compare(0, inStart.size(), inStart) == 0;
}

}  // namespace

std::vector<std::string> KRVCompleter::Complete(const std::string& inLine) {
    size_t typedStart;
    std::vector<std::string> words = SplitWords(inLine, typedStart);
    int wordIndex = static_cast<int>(words.size()) - 1;
    if (wordIndex == 0) {
        return CompleteCommand(words[0]);
    }
    int row = KRVShell::FindCommand(words[0]);
    if (row < 0) {
        return {};
    }
    switch (KRVShell::GetArgumentKind(row, wordIndex)) {
        case KRVShell::kFileArgument:
            return CompleteFile(words.back());
        case KRVShell::kKeyArgument:
            return CompleteKey(words.back());
        default:
            return {};
    }
}

std::string KRVCompleter::GetTypedWord(const std::string& inLine) {
    size_t typedStart;
    SplitWords(inLine, typedStart);
    return inLine.substr(typedStart);
}

std::string KRVCompleter::GetCommonStart(const std::vector<std::string>& inCandidates) {
    if (inCandidates.empty()) {
        return std::string();
    }
    std::string common = inCandidates[0];
    for (const std::string& candidate : inCandidates) {
        auto mismatch =
            std::mismatch(common.begin(), common.end(), candidate.begin(), candidate.end());
        common.erase(mismatch.first, common.end());
    }
    return common;
}

std::vector<std::string> KRVCompleter::CompleteCommand(const std::string& inStart) {
    std::vector<std::string> found;
    for (int row = 0; row < KRVShell::kCommandCount; row++) {
        for (const char* word : {KRVShell::GetCommandName(row), KRVShell::GetCommandAlias(row)}) {
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

// Names in the folder part of the word that begin with the rest; hidden
// files only when the rest begins with a dot.
std::vector<std::string> KRVCompleter::CompleteFile(const std::string& inStart) {
    size_t slash = inStart.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : inStart.substr(0, slash + 1);
    std::string start = inStart.substr(folder.size());
    std::vector<std::string> found;
    DIR* directory = opendir(folder.empty() ? "." : folder.c_str());
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
