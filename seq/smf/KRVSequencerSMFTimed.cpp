// importsmf FILE timed: the notes of a file placed by their times on the
// grid the sequence has, one line said for each file track and one for all.
#include <memory>
#include <string>

#include "model/KRVSequencer.h"
#include "model/KRVTextOutput.h"
#include "smf/KRVSMFTimeMap.h"
#include "smf/KRVSMFTimedLayout.h"
#include "smf/KRVSequencerSMF.h"

namespace {

std::string Beyond(int inSteps) {
    return " dropped beyond step " + std::to_string(inSteps);
}

std::string Unread(std::uint64_t inCount) {
    return std::to_string(inCount) + " not read, a file track is read to " +
           std::to_string(KRVSMFTimedLayout::kMaxNotesPerTrack) + " notes";
}

// Tracks added one after another have consecutive numbers.
std::string TrackRange(int inFirst1, int inLast1) {
    if (inFirst1 == inLast1) {
        return "track " + std::to_string(inFirst1);
    }
    return "tracks " + std::to_string(inFirst1) + " to " + std::to_string(inLast1);
}

}  // namespace

bool KRVSequencerSMF::ImportTimed(const char* inFileName) {
    KRVSMFReader reader(KRVSMFTimedLayout::kMaxNotesPerTrack);
    if (!Read(inFileName, &reader)) {
        return false;
    }
    KRVSMFTimeMap timeMap(reader, mSequencer->GetBPM());
    if (!timeMap.IsUsable()) {
        mOutput->WriteFormattedS(
            "krv: can't place the notes of '%s' by time: its time division gives ticks no "
            "length\n",
            inFileName);
        return false;
    }
    TakeTempo(reader);
    TakePrograms(reader);
    const int steps = mSequencer->GetStepCount();
    KRVSMFTimedLayout layout(timeMap, mSequencer->GetTicksPerStep(), steps);
    TimedCounts total;
    for (int fileTrack0 = 0; fileTrack0 < reader.GetTrackCount(); fileTrack0++) {
        TimedCounts counts = LayTimedTrack(reader, fileTrack0, &layout);
        SayTimedTrack(fileTrack0, counts);
        total.mTracks += counts.mTracks;
        total.mNotes += counts.mNotes;
        total.mDropped += counts.mDropped;
        total.mUnread += counts.mUnread;
    }
    ReportSkippedEvents(reader);
    std::string line = Count(total.mTracks, "track") + ", " + Count(total.mNotes, "note") + ", " +
                       std::to_string(total.mDropped) + Beyond(steps);
    if (total.mUnread > 0) {
        line += ", " + Unread(total.mUnread);
    }
    mOutput->Write((line + "\n").c_str());
    return true;
}

// The voices of a file track that find no room are left out whole, and so
// are their notes.
KRVSequencerSMF::TimedCounts KRVSequencerSMF::LayTimedTrack(const KRVSMFReader& inReader,
                                                            int inFileTrack0,
                                                            KRVSMFTimedLayout* ioLayout) const {
    const std::vector<KRVSMFNote>& notes = inReader.GetNotes(inFileTrack0);
    TimedCounts counts;
    counts.mUnread = inReader.GetNoteCount(inFileTrack0) - notes.size();
    if (notes.empty()) {
        return counts;
    }
    for (const KRVSMFTimedLayout::Laid& voice : ioLayout->Lay(notes)) {
        if (!mSequencer->CanAddTrack()) {
            counts.mLeftOutTracks++;
            counts.mLeftOutNotes += voice.mNoteCount;
            continue;
        }
        auto track = std::make_unique<KRVTrack>();
        ioLayout->MakeTrack(voice, track.get());
        const int track1 = mSequencer->AddTrack(std::move(track));
        for (int step0 = 0; step0 < KRVTrack::kMaxSteps; step0++) {
            if (voice.mSilentSteps >> step0 & 1) {
                mSequencer->Mute(track1, step0 + 1);
            }
        }
        counts.mFirstTrack1 = counts.mTracks++ == 0 ? track1 : counts.mFirstTrack1;
        counts.mNotes += voice.mNoteCount;
    }
    counts.mDropped = ioLayout->GetDroppedCount();
    return counts;
}

void KRVSequencerSMF::SayTimedTrack(int inFileTrack0, const TimedCounts& inCounts) const {
    std::string line = "file track " + std::to_string(inFileTrack0 + 1) + ": ";
    if (inCounts.mNotes + inCounts.mDropped + inCounts.mUnread + inCounts.mLeftOutNotes == 0) {
        mOutput->Write((line + "no notes\n").c_str());
        return;
    }
    line += Count(inCounts.mNotes, "note");
    if (inCounts.mTracks > 0) {
        line += " on " +
                TrackRange(inCounts.mFirstTrack1, inCounts.mFirstTrack1 + inCounts.mTracks - 1);
    }
    if (inCounts.mDropped > 0) {
        line += ", " + std::to_string(inCounts.mDropped) + Beyond(mSequencer->GetStepCount());
    }
    if (inCounts.mUnread > 0) {
        line += ", " + Unread(inCounts.mUnread);
    }
    if (inCounts.mLeftOutTracks > 0) {
        line += ", " + Count(inCounts.mLeftOutTracks, "track") + " of " +
                Count(inCounts.mLeftOutNotes, "note") + " left out, a sequence holds " +
                std::to_string(KRVSequencer::kMaxTracks) + " at most";
    }
    mOutput->Write((line + "\n").c_str());
}
