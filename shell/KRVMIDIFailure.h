#pragma once

#include <string>

class MIDICLException;

// Turns a failure to reach the MIDI system into words a user can act on.
class KRVMIDIFailure {
public:
    // inHostChoice is the MIDI system asked for ("alsa", "jack", "none", or
    // anything else a user typed), or null when none was. The line starts
    // with "krv: " and has no newline.
    static std::string Describe(const MIDICLException& inException, const char* inHostChoice);
    // Why a port could not connect, from the host's status (a negative
    // errno): "Operation not permitted".
    static std::string DescribeStatus(int inStatus);

private:
    static std::string DescribeClientFailure(int inStatus, const std::string& inHostChoice);
    static std::string ListHostNames();
};
