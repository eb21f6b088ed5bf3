#include "KRVTestKeyboard.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "MIDICLPacketList.h"
#include "hosts/builtin/MIDICLBuiltinHost.h"

namespace {

const char* GetPath() {
    return std::getenv("KRV_TEST_KEYBOARD");
}

void PlayLine(const std::string& inLine) {
    std::istringstream words(inLine);
    std::uint8_t bytes[MIDICLPacketList::kMaxBytes];
    std::size_t length = 0;
    for (unsigned byte = 0; length < sizeof bytes && words >> std::hex >> byte;) {
        bytes[length++] = static_cast<std::uint8_t>(byte);
    }
    MIDICLPacketList list;
    if (length > 0 && list.Add(0, bytes, length)) {
        MIDICLBuiltinHost::SendFromTestSource(1, list);
    }
}

}  // namespace

void KRVTestKeyboard::SetUp() {
    if (GetPath() != nullptr) {
        MIDICLBuiltinTestConfig config;
        config.mNumberOfSources = 1;
        MIDICLBuiltinHost::SetTestConfig(config);
    }
}

void KRVTestKeyboard::PlayNew() {
    static std::streamoff sPlayed = 0;
    const char* path = GetPath();
    if (path == nullptr) {
        return;
    }
    std::ifstream file(path);
    file.seekg(sPlayed);
    for (std::string line; std::getline(file, line) && !file.eof();) {
        PlayLine(line);
        sPlayed = file.tellg();
    }
}
