#pragma once

#include <string>
#include <vector>

// Completion of the word being typed at the console: command names and
// their short forms first, then what the command table says the argument
// is, where that can be offered (file names, key and scale names, the one
// word of a command's other form). Note names are not completed.
class KRVCompleter {
public:
    // inLine is the text left of the cursor. The result holds every word that
    // could stand in place of its last word, sorted, with blanks and other
    // special characters escaped as the shell reads them; folder names end
    // with "/".
    static std::vector<std::string> Complete(const std::string& inLine);
    // The last word of inLine as typed, escapes and quotes included: the
    // text a completion replaces.
    static std::string GetTypedWord(const std::string& inLine);

private:
    static std::vector<std::string> CompleteCommand(const std::string& inStart);
    static std::vector<std::string> CompleteKey(const std::string& inStart);
    static std::vector<std::string> CompleteScale(const std::string& inStart);
    static std::vector<std::string> CompleteFile(const std::string& inStart);
};
