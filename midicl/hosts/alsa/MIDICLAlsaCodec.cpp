#include "hosts/alsa/MIDICLAlsaCodec.h"

#include "hosts/MIDICLMessage.h"

namespace {

constexpr std::uint64_t kEndpointFlag = std::uint64_t{1} << 32;
constexpr int kPitchBendCentre = 8192;

std::uint8_t Low7(int inValue) {
    return static_cast<std::uint8_t>(inValue & 0x7F);
}

}  // namespace

std::size_t MIDICLAlsaCodec::Encode(const std::uint8_t* inData, std::size_t inLength,
                                    snd_seq_event_t& outEvent) {
    const std::size_t length = MIDICLMessage::Length(inData, inLength);
    if (length == 0) {
        return 0;
    }
    snd_seq_ev_clear(&outEvent);
    if (inData[0] >= 0xF0) {
        return EncodeSystem(inData, length, outEvent);
    }
    return EncodeChannel(inData, outEvent) != 0 ? length : 0;
}

std::size_t MIDICLAlsaCodec::EncodeChannel(const std::uint8_t* inData, snd_seq_event_t& outEvent) {
    const int channel = inData[0] & 0x0F;
    switch (inData[0] & 0xF0) {
        case 0x80:
            snd_seq_ev_set_noteoff(&outEvent, channel, inData[1], inData[2]);
            break;
        case 0x90:
            snd_seq_ev_set_noteon(&outEvent, channel, inData[1], inData[2]);
            break;
        case 0xA0:
            snd_seq_ev_set_keypress(&outEvent, channel, inData[1], inData[2]);
            break;
        case 0xB0:
            snd_seq_ev_set_controller(&outEvent, channel, inData[1], inData[2]);
            break;
        case 0xC0:
            snd_seq_ev_set_pgmchange(&outEvent, channel, inData[1]);
            break;
        case 0xD0:
            snd_seq_ev_set_chanpress(&outEvent, channel, inData[1]);
            break;
        default:
            snd_seq_ev_set_pitchbend(
                &outEvent, channel,
                ((inData[2] & 0x7F) << 7 | (inData[1] & 0x7F)) - kPitchBendCentre);
            break;
    }
    return 1;
}

std::size_t MIDICLAlsaCodec::EncodeSystem(const std::uint8_t* inData, std::size_t inLength,
                                          snd_seq_event_t& outEvent) {
    snd_seq_ev_set_fixed(&outEvent);
    switch (inData[0]) {
        case 0xF0:
            snd_seq_ev_set_sysex(&outEvent, inLength, const_cast<std::uint8_t*>(inData));
            return inLength;
        case 0xF1:
            outEvent.type = SND_SEQ_EVENT_QFRAME;
            outEvent.data.control.value = inData[1];
            return inLength;
        case 0xF2:
            outEvent.type = SND_SEQ_EVENT_SONGPOS;
            outEvent.data.control.value = (inData[2] & 0x7F) << 7 | (inData[1] & 0x7F);
            return inLength;
        case 0xF3:
            outEvent.type = SND_SEQ_EVENT_SONGSEL;
            outEvent.data.control.value = inData[1];
            return inLength;
        case 0xF6:
            outEvent.type = SND_SEQ_EVENT_TUNE_REQUEST;
            return inLength;
        case 0xF8:
            outEvent.type = SND_SEQ_EVENT_CLOCK;
            return inLength;
        case 0xFA:
            outEvent.type = SND_SEQ_EVENT_START;
            return inLength;
        case 0xFB:
            outEvent.type = SND_SEQ_EVENT_CONTINUE;
            return inLength;
        case 0xFC:
            outEvent.type = SND_SEQ_EVENT_STOP;
            return inLength;
        case 0xFE:
            outEvent.type = SND_SEQ_EVENT_SENSING;
            return inLength;
        case 0xFF:
            outEvent.type = SND_SEQ_EVENT_RESET;
            return inLength;
        default:
            return 0;
    }
}

std::size_t MIDICLAlsaCodec::Decode(const snd_seq_event_t& inEvent, std::uint8_t* outData,
                                    std::size_t inSize) {
    if (inSize < 3) {
        return 0;
    }
    const std::size_t length = DecodeChannel(inEvent, outData);
    return length != 0 ? length : DecodeSystem(inEvent, outData);
}

std::size_t MIDICLAlsaCodec::DecodeChannel(const snd_seq_event_t& inEvent, std::uint8_t* outData) {
    const snd_seq_ev_note_t& note = inEvent.data.note;
    const snd_seq_ev_ctrl_t& control = inEvent.data.control;
    const int noteStatus[] = {0x90, 0x80, 0xA0};
    const snd_seq_event_type_t noteTypes[] = {SND_SEQ_EVENT_NOTEON, SND_SEQ_EVENT_NOTEOFF,
                                              SND_SEQ_EVENT_KEYPRESS};
    for (int i = 0; i < 3; ++i) {
        if (inEvent.type == noteTypes[i]) {
            outData[0] = static_cast<std::uint8_t>(noteStatus[i] | (note.channel & 0x0F));
            outData[1] = note.note;
            outData[2] = note.velocity;
            return 3;
        }
    }
    const std::uint8_t channel = control.channel & 0x0F;
    switch (inEvent.type) {
        case SND_SEQ_EVENT_CONTROLLER:
            outData[0] = 0xB0 | channel;
            outData[1] = Low7(static_cast<int>(control.param));
            outData[2] = Low7(control.value);
            return 3;
        case SND_SEQ_EVENT_PGMCHANGE:
        case SND_SEQ_EVENT_CHANPRESS:
            outData[0] = (inEvent.type == SND_SEQ_EVENT_PGMCHANGE ? 0xC0 : 0xD0) | channel;
            outData[1] = Low7(control.value);
            return 2;
        case SND_SEQ_EVENT_PITCHBEND:
            outData[0] = 0xE0 | channel;
            outData[1] = Low7(control.value + kPitchBendCentre);
            outData[2] = Low7((control.value + kPitchBendCentre) >> 7);
            return 3;
        default:
            return 0;
    }
}

std::size_t MIDICLAlsaCodec::DecodeSystem(const snd_seq_event_t& inEvent, std::uint8_t* outData) {
    const int value = inEvent.data.control.value;
    switch (inEvent.type) {
        case SND_SEQ_EVENT_QFRAME:
        case SND_SEQ_EVENT_SONGSEL:
            outData[0] = inEvent.type == SND_SEQ_EVENT_QFRAME ? 0xF1 : 0xF3;
            outData[1] = Low7(value);
            return 2;
        case SND_SEQ_EVENT_SONGPOS:
            outData[0] = 0xF2;
            outData[1] = Low7(value);
            outData[2] = Low7(value >> 7);
            return 3;
        case SND_SEQ_EVENT_TUNE_REQUEST:
            outData[0] = 0xF6;
            return 1;
        case SND_SEQ_EVENT_CLOCK:
            outData[0] = 0xF8;
            return 1;
        case SND_SEQ_EVENT_START:
            outData[0] = 0xFA;
            return 1;
        case SND_SEQ_EVENT_CONTINUE:
            outData[0] = 0xFB;
            return 1;
        case SND_SEQ_EVENT_STOP:
            outData[0] = 0xFC;
            return 1;
        case SND_SEQ_EVENT_SENSING:
            outData[0] = 0xFE;
            return 1;
        case SND_SEQ_EVENT_RESET:
            outData[0] = 0xFF;
            return 1;
        default:
            return 0;
    }
}

MIDICLEndpointRef MIDICLAlsaCodec::MakeEndpoint(int inClient, int inPort) {
    return MIDICLEndpointRef{kEndpointFlag | static_cast<std::uint64_t>(inClient & 0xFF) << 8 |
                             static_cast<std::uint64_t>(inPort & 0xFF)};
}

bool MIDICLAlsaCodec::SplitEndpoint(MIDICLEndpointRef inEndpoint, int& outClient, int& outPort) {
    if ((inEndpoint.mValue & ~std::uint64_t{0xFFFF}) != kEndpointFlag) {
        return false;
    }
    outClient = static_cast<int>(inEndpoint.mValue >> 8 & 0xFF);
    outPort = static_cast<int>(inEndpoint.mValue & 0xFF);
    return true;
}

std::string MIDICLAlsaCodec::FormatName(const char* inClientName, const char* inPortName) {
    return std::string(inClientName) + ":" + inPortName;
}
