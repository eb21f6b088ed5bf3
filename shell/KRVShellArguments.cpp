// What the arguments of each command are, for completion at the terminal.
#include <cstring>

#include "KRVShell.h"

// A command whose help text names a file takes one as its first argument;
// the host command of `shell` may name files anywhere; fitkey takes a key.
KRVShell::ArgumentKind KRVShell::GetArgumentKind(int inRow, int inWord1) {
    const Command& command = sCommands[inRow];
    if (command.mHandler == static_cast<Handler>(Shell)) {
        return inWord1 >= 1 ? kFileArgument : kOtherArgument;
    }
    if (inWord1 != 1) {
        return kOtherArgument;
    }
    if (command.mHandler == FitToKey) {
        return kKeyArgument;
    }
    return std::strstr(command.mDescription, "file)") != nullptr ? kFileArgument : kOtherArgument;
}
