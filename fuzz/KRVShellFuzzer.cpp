// libFuzzer target for the command interpreter: whole inputs run as typed
// lines through a shell on the built-in MIDI host, with history expansion,
// quoting, and scripts read, loaded and saved in a scratch folder.
//
// An input is console lines, optionally followed by files for the scratch
// folder, each begun by a line "%%file NAME" (NAME of letters, digits, dots,
// dashes and underscores; anything else is named by its number). The files
// may hold anything, binary included. Each part is cut after 64 lines.
//
// Nothing here may touch the rest of the machine: the shell command is
// switched off, and before the first input the process gives up (through
// Landlock) every right to change files outside the folder it started in.
// Where the kernel cannot do that, the target refuses to run (exit 77).
#include <fcntl.h>
#include <ftw.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "KRVShell.h"
#include "MIDICLClient.h"
#include "MIDICLDestination.h"
#include "MIDICLOutputPort.h"
#include "console/KRVStdioInterface.h"
#include "model/KRVSequencer.h"

// Older kernel headers lack the right that came with Landlock ABI 3.
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

namespace {

constexpr int kDestinations = 2;
constexpr int kMaxLines = 64;
const std::string kFileMarker = "%%file ";

MIDICLClient* sClient = nullptr;
std::vector<std::unique_ptr<MIDICLDestination>> sDestinations;
FILE* sOutput = nullptr;
// Each input runs in the scratch folder; between inputs the fuzzer is back
// where it started, so that paths it was given keep their meaning.
int sStartFolder = -1;
int sScratchFolder = -1;

// Every right to change the file system, for the Landlock ABI version given.
__u64 WriteRights(long inABI) {
    __u64 rights = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                   LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                   LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                   LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                   LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (inABI >= 2) {
        rights |= LANDLOCK_ACCESS_FS_REFER;
    }
    if (inABI >= 3) {
        rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
    }
    return rights;
}

// Grants inRights beneath inPath (a folder, or a single file) in the ruleset.
bool AllowBeneath(int inRulesetFD, const char* inPath, __u64 inRights) {
    landlock_path_beneath_attr beneath = {};
    beneath.allowed_access = inRights;
    beneath.parent_fd = open(inPath, O_PATH | O_CLOEXEC);
    if (beneath.parent_fd < 0) {
        return false;
    }
    bool added =
        syscall(SYS_landlock_add_rule, inRulesetFD, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0) == 0;
    close(beneath.parent_fd);
    return added;
}

// Leaves this process the right to change files beneath inFolder only, and
// to write to /dev/null (where libFuzzer's -fork mode sends its children's
// output).
bool ConfineWritesTo(const char* inFolder) {
    long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
        return false;
    }
    landlock_ruleset_attr ruleset = {};
    ruleset.handled_access_fs = WriteRights(abi);
    int rulesetFD =
        static_cast<int>(syscall(SYS_landlock_create_ruleset, &ruleset, sizeof ruleset, 0));
    if (rulesetFD < 0) {
        return false;
    }
    __u64 fileRights =
        ruleset.handled_access_fs & (LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_TRUNCATE);
    bool confined = AllowBeneath(rulesetFD, inFolder, ruleset.handled_access_fs) &&
                    AllowBeneath(rulesetFD, "/dev/null", fileRights) &&
                    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                    syscall(SYS_landlock_restrict_self, rulesetFD, 0) == 0;
    close(rulesetFD);
    return confined;
}

// Output goes nowhere, without a system call for every flush.
ssize_t Discard(void*, const char*, size_t inSize) {
    return static_cast<ssize_t>(inSize);
}

int RemoveEntry(const char* inPath, const struct stat*, int, FTW*) {
    return remove(inPath);
}

// Empties the scratch folder (the current folder) left by the last input.
void ClearScratch() {
    std::string here = ".";
    nftw(here.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    // nftw could not remove "." itself; the folder stays, now empty.
}

bool IsPlainName(const std::string& inName) {
    if (inName.empty() || inName.size() > 64 || inName[0] == '.') {
        return false;
    }
    for (char ch : inName) {
        bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                     (ch >= '0' && ch <= '9') || ch == '.' || ch == '-' || ch == '_';
        if (!plain) {
            return false;
        }
    }
    return true;
}

void WriteScratchFile(const std::string& inName, const std::string& inContent) {
    FILE* file = std::fopen(inName.c_str(), "w");
    if (file != nullptr) {
        std::fwrite(inContent.data(), 1, inContent.size(), file);
        std::fclose(file);
    }
}

// Splits off the files that follow the console lines and writes them;
// returns the console lines.
// Keeps the first kMaxLines lines. A line may cost a walk over 1,024 tracks,
// or a hundred scripts read (each starting and stopping the clock thread);
// without a cap, long inputs would time out for the work they ask for, not
// for a fault.
std::string FirstLines(const std::string& inText) {
    size_t at = 0;
    for (int line = 0; line < kMaxLines && at != std::string::npos; line++) {
        at = inText.find('\n', at);
        if (at != std::string::npos) {
            at++;
        }
    }
    return at == std::string::npos ? inText : inText.substr(0, at);
}

std::string WriteFiles(const std::string& inInput) {
    size_t end = inInput.find("\n" + kFileMarker);
    std::string console =
        FirstLines(inInput.substr(0, end == std::string::npos ? inInput.size() : end + 1));
    int number = 0;
    while (end != std::string::npos) {
        size_t nameStart = end + 1 + kFileMarker.size();
        size_t nameEnd = inInput.find('\n', nameStart);
        if (nameEnd == std::string::npos) {
            break;
        }
        std::string name = inInput.substr(nameStart, nameEnd - nameStart);
        end = inInput.find("\n" + kFileMarker, nameEnd);
        size_t contentEnd = end == std::string::npos ? inInput.size() : end + 1;
        number++;
        WriteScratchFile(IsPlainName(name) ? name : std::to_string(number),
                         FirstLines(inInput.substr(nameEnd + 1, contentEnd - nameEnd - 1)));
    }
    return console;
}

// A sequence as the program starts it: one bar of 16 steps and one port per
// destination.
void SetUpSequencer(KRVSequencer& ioSequencer) {
    ioSequencer.SetScale(1, 16);
    for (int i = 0; i < sClient->GetNumberOfDestinations(); i++) {
        std::unique_ptr<MIDICLOutputPort> port(sClient->MakeOutputPort("output"));
        port->SetDestination(i);
        ioSequencer.AddPort(port.release());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // KRV_FUZZ_SHOW=1 shows what the shell says (to read a finding through).
    cookie_io_functions_t discard = {nullptr, Discard, nullptr, nullptr};
    sOutput = std::getenv("KRV_FUZZ_SHOW") != nullptr ? stderr : fopencookie(nullptr, "w", discard);
    char* folder = getcwd(nullptr, 0);
    if (sOutput == nullptr || folder == nullptr || !ConfineWritesTo(folder)) {
        std::fprintf(stderr, "krv shell fuzzer: cannot confine file writes (Landlock), not run\n");
        std::exit(77);
    }
    std::free(folder);
    mkdir("scratch", 0700);
    sStartFolder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    sScratchFolder = open("scratch", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (sStartFolder < 0 || sScratchFolder < 0) {
        std::perror("krv shell fuzzer: scratch folder");
        std::exit(1);
    }
    setenv("KRV_MIDI_HOST", "none", 1);
    sClient = new MIDICLClient("krv-fuzz", "none");
    for (int i = 0; i < kDestinations; i++) {
        // Kept for the whole run, as the program keeps its dummy destination.
        sDestinations.emplace_back(
            sClient->MakeDestination("fuzz destination " + std::to_string(i + 1)));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* inData, std::size_t inSize) {
    if (fchdir(sScratchFolder) != 0) {
        std::abort();
    }
    ClearScratch();
    std::string console = WriteFiles(std::string(reinterpret_cast<const char*>(inData), inSize));
    // fmemopen refuses an empty buffer; one newline reads as an empty line.
    if (console.empty()) {
        console = "\n";
    }
    FILE* in = fmemopen(console.data(), console.size(), "r");
    if (in == nullptr) {
        std::abort();
    }
    {
        KRVSequencer sequencer;
        SetUpSequencer(sequencer);
        KRVStdioInterface interface(in, sOutput);
        KRVShell shell(&sequencer, &interface);
        shell.GetContext().SetShellCommandsAllowed(false);
        // As the console runs: undo and redo have steps to take.
        shell.StartTracking();
        shell.Shell(true);
        if (sequencer.IsPlaying()) {
            sequencer.Stop();
        }
    }
    std::fclose(in);
    if (fchdir(sStartFolder) != 0) {
        std::abort();
    }
    return 0;
}
