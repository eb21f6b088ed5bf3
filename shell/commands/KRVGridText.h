#pragma once

#include <string>

class KRVSequencer;

// The grid as text, as `display` prints it and the live view draws it: a
// 7-character label and one 4-character cell per step on every line, two
// header lines, six lines per track (and one more for each of chance,
// ratchet and length on a track where a step uses it, for swing on a
// track that swings, and for legato on a legato track) and a closing ruler. Each part is put
// together in a line buffer, so that it can be written in one piece: a
// large sequence has hundreds of thousands of cells.
class KRVGridText {
public:
    static constexpr int kLabelColumns = 7;
    static constexpr int kStepColumns = 4;
    static constexpr int kHeaderLines = 2;
    static constexpr int kTrackLines = 6;

    // A range of steps, 1-based, both ends shown.
    struct Steps {
        int mFirst;
        int mLast;
    };

    // How many steps fit in inColumns: all of them where there is no
    // terminal (inColumns 0), and at least one however narrow it is.
    static int StepsPerBlock(int inColumns, int inSteps);
    // The column where step inStep1 of a block starting at inFirst1 begins
    // its 3 characters.
    static int GetCellColumn(int inFirst1, int inStep1) {
        return kLabelColumns + (inStep1 - inFirst1) * kStepColumns;
    }

    // The lines AppendTrack gives the track.
    static int GetTrackLines(const KRVSequencer& inSequencer, int inTrack1);

    static void AppendHeader(std::string* ioText, const KRVSequencer& inSequencer, Steps inSteps);
    static void AppendTrack(std::string* ioText, const KRVSequencer& inSequencer, int inTrack1,
                            Steps inSteps);
    static void AppendRuler(std::string* ioText, Steps inSteps);
};
