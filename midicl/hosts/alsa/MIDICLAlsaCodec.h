#pragma once

#include <alsa/asoundlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "MIDICLTypes.h"

// The device-free half of the ALSA host: MIDI bytes to and from sequencer
// events, endpoint addresses and display names. Kept apart so that it can be
// tested on machines without a sequencer device.
class MIDICLAlsaCodec {
public:
    // Fills outEvent's type and data from the message that starts at inData
    // and returns how many bytes it took; 0 when inData does not start with a
    // status byte or the message is incomplete. A system-exclusive event
    // points into inData (up to and including F7, or to the end).
    static std::size_t Encode(const std::uint8_t* inData, std::size_t inLength,
                              snd_seq_event_t& outEvent);
    // Writes the MIDI bytes of a fixed-size event and returns how many; 0 for
    // events that are no MIDI message, for system exclusive (whose bytes the
    // event points to) and when inSize is under 3.
    static std::size_t Decode(const snd_seq_event_t& inEvent, std::uint8_t* outData,
                              std::size_t inSize);

    // An endpoint's address inside a MIDICLEndpointRef; a flag bit keeps
    // 0:0 apart from "no endpoint".
    static MIDICLEndpointRef MakeEndpoint(int inClient, int inPort);
    static bool SplitEndpoint(MIDICLEndpointRef inEndpoint, int& outClient, int& outPort);

    // "client name:port name".
    static std::string FormatName(const char* inClientName, const char* inPortName);

private:
    static std::size_t EncodeChannel(const std::uint8_t* inData, snd_seq_event_t& outEvent);
    static std::size_t EncodeSystem(const std::uint8_t* inData, std::size_t inLength,
                                    snd_seq_event_t& outEvent);
    static std::size_t DecodeChannel(const snd_seq_event_t& inEvent, std::uint8_t* outData);
    static std::size_t DecodeSystem(const snd_seq_event_t& inEvent, std::uint8_t* outData);
};
