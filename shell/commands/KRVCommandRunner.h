#pragma once

#include <string>

class KRVShellInterface;

// Runs one command line through the host's command processor (/bin/sh -c)
// and copies what it writes on its standard output to the shell's interface.
// A SIGINT or a terminating signal that arrives meanwhile interrupts it: the
// command's process group gets SIGINT (SIGKILL if its output is still open a
// second later) and krv goes on.
class KRVCommandRunner {
public:
    // False when the command could not be started.
    static bool Run(const std::string& inCommandLine, KRVShellInterface* ioOut);

private:
    static bool CopyOutput(int inPipe, int inChild, KRVShellInterface* ioOut);
    static void Reap(int inChild);
    static bool HandTerminal(int inGroup);
};
