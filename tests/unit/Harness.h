#pragma once

// What the unit tests share: the headers most of them need (the library
// tests' among them), a scratch folder, a wait with a deadline, a recorder
// of what reaches a destination, and the bytes of files.
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "../midicl/MIDICLRecorder.h"
#include "model/KRVSequencer.h"
#include "model/KRVSequencerListener.h"

// A folder of the test's own, removed with all it holds; while inEnter it is
// also the current folder.
class Scratch {
public:
    explicit Scratch(bool inEnter = false) : mBack(std::filesystem::current_path()) {
        char pattern[] = "/tmp/krv-test-XXXXXX";
        mFolder = mkdtemp(pattern);
        if (inEnter) {
            std::filesystem::current_path(mFolder);
        }
    }
    ~Scratch() {
        std::filesystem::current_path(mBack);
        std::filesystem::remove_all(mFolder);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string Path(const std::string& inName) const { return mFolder + "/" + inName; }
    std::string Write(const std::string& inName, const std::string& inText) const {
        std::ofstream(Path(inName), std::ios::binary) << inText;
        return Path(inName);
    }
    std::string Save(const std::string& inName, const Bytes& inBytes) const {
        return Write(inName, std::string(inBytes.begin(), inBytes.end()));
    }
    static std::string Read(const std::string& inPath) {
        std::ifstream file(inPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    std::string mFolder;

private:
    std::filesystem::path mBack;
};

// Lines as one, ", " between them.
inline std::string Joined(const std::vector<std::string>& inLines) {
    std::string joined;
    for (const std::string& line : inLines) {
        joined += (joined.empty() ? "" : ", ") + line;
    }
    return joined;
}

// A MIDI file chunk of the given type around inBody, its length big-endian.
inline Bytes SMFChunk(const char* inType, const Bytes& inBody) {
    Bytes chunk(inType, inType + 4);
    for (int shift = 24; shift >= 0; shift -= 8) {
        chunk.push_back(static_cast<std::uint8_t>(inBody.size() >> shift));
    }
    chunk.insert(chunk.end(), inBody.begin(), inBody.end());
    return chunk;
}

// A MIDI file: a header of the format and division (96 ticks a quarter
// note unless said), then the track bodies, each in its chunk.
inline Bytes SMFFile(int inFormat, const std::vector<Bytes>& inBodies, std::uint8_t inDivision0 = 0,
                     std::uint8_t inDivision1 = 96) {
    Bytes file = SMFChunk("MThd", {0, std::uint8_t(inFormat), 0, std::uint8_t(inBodies.size()),
                                   inDivision0, inDivision1});
    for (const Bytes& body : inBodies) {
        const Bytes chunk = SMFChunk("MTrk", body);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

// Records what reaches a destination as "tick:on 60" / "tick:off 60"
// (channel 1) or with the channel, "tick:on 60/ch3", the tick being whatever
// the test last set; counts note-ons and notes left sounding. Safe to call
// from the clock thread.
class NoteRecorder : public MIDICLInputPortListener {
public:
    void Hear(const MIDICLPacketList* inList) override {
        std::lock_guard<std::mutex> lock(mMutex);
        for (std::size_t i = 0; i < inList->GetNumPackets(); i++) {
            const MIDICLPacket packet = inList->GetPacket(i);
            const int status = packet.mData[0] & 0xF0;
            const int channel = packet.mData[0] & 0x0F;
            const char* what = status == 0x90 ? ":on " : status == 0xC0 ? ":program " : ":off ";
            std::string text = std::to_string(mTick) + what + std::to_string(packet.mData[1]);
            mHeard.push_back(channel == 0 ? text : text + "/ch" + std::to_string(channel + 1));
            if (status != 0xC0) {
                mSounding[{channel, packet.mData[1]}] += status == 0x90 ? 1 : -1;
                mNoteOns[packet.mData[1]] += status == 0x90 ? 1 : 0;
            }
            mStamps.push_back(packet.mTimeStamp);
        }
    }
    std::vector<std::string> Take() {
        return Locked([this] { return std::exchange(mHeard, {}); });
    }
    std::vector<std::uint64_t> TakeStamps() {
        return Locked([this] { return std::exchange(mStamps, {}); });
    }
    std::size_t CountStamps() {
        return Locked([this] { return mStamps.size(); });
    }
    int CountNoteOns(int inNote) {
        return Locked([&] { return mNoteOns[inNote]; });
    }
    // Notes whose note-ons outnumber their note-offs.
    int CountHanging() {
        return Locked([this] {
            return int(std::count_if(mSounding.begin(), mSounding.end(),
                                     [](const auto& inVoice) { return inVoice.second != 0; }));
        });
    }
    int mTick = 0;

private:
    template <typename Read>
    auto Locked(Read inRead) -> decltype(inRead()) {
        std::lock_guard<std::mutex> lock(mMutex);
        return inRead();
    }

    std::mutex mMutex;
    std::vector<std::string> mHeard;
    std::vector<std::uint64_t> mStamps;
    std::map<std::pair<int, int>, int> mSounding;
    std::map<int, int> mNoteOns;
};

// A test with a scratch folder of its own.
class ScratchTest : public testing::Test, public Scratch {};
