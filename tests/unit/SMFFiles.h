#pragma once

// What the MIDI file tests share: bytes of a file in the making, and a
// scratch folder of their own for each test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using SMFBytes = std::vector<std::uint8_t>;

// A chunk of the given type around inBody, its length big-endian.
inline SMFBytes SMFChunk(const char* inType, const SMFBytes& inBody) {
    SMFBytes chunk(inType, inType + 4);
    for (int shift = 24; shift >= 0; shift -= 8) {
        chunk.push_back(static_cast<std::uint8_t>(inBody.size() >> shift));
    }
    chunk.insert(chunk.end(), inBody.begin(), inBody.end());
    return chunk;
}

class SMFScratchTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/krv-smf-XXXXXX";
        mFolder = mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(mFolder); }

    std::string Path(const char* inName) { return mFolder + "/" + inName; }
    std::string Save(const char* inName, const SMFBytes& inBytes) {
        std::ofstream(Path(inName), std::ios::binary)
            .write(reinterpret_cast<const char*>(inBytes.data()), inBytes.size());
        return Path(inName);
    }
    SMFBytes Load(const std::string& inPath) {
        std::ifstream file(inPath, std::ios::binary);
        return SMFBytes(std::istreambuf_iterator<char>(file), {});
    }

    std::string mFolder;
};
