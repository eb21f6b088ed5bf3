#include "smf/KRVSequencerSMF.h"

#include <algorithm>
#include <array>
#include <bit>

#include "files/KRVPath.h"
#include "files/KRVSafeFile.h"
#include "model/KRVSequencer.h"
#include "model/KRVTextOutput.h"
#include "smf/KRVSMFFile.h"
#include "smf/KRVSMFWriter.h"

namespace {
constexpr std::uint8_t kImportedGateTime = 50;
constexpr std::uint64_t kGatePercent = 100;

// The program each channel of a file track starts on: the one of the port
// its first note on that channel plays on (a file has no ports).
class TrackPrograms {
public:
    TrackPrograms() { mPrograms.fill(KRVPrograms::kNone); }
    void Note(const KRVSequencer& inSequencer, const KRVEvent& inEvent) {
        const int channel0 = (inEvent.GetChannel() - 1) & 0x0F;
        if ((mSeen >> channel0 & 1) == 0) {
            mSeen |= 1u << channel0;
            mPrograms[channel0] = inSequencer.GetProgram(inEvent.GetPort(), channel0 + 1);
        }
    }
    void Write(int inFileTrack0, KRVSMFWriter* ioWriter) const {
        for (int channel0 = 0; channel0 < KRVPrograms::kChannels; channel0++) {
            if (mPrograms[channel0] != KRVPrograms::kNone) {
                ioWriter->AddProgramChange(inFileTrack0, static_cast<std::uint8_t>(channel0),
                                           static_cast<std::uint8_t>(mPrograms[channel0]));
            }
        }
    }

private:
    std::array<int, KRVPrograms::kChannels> mPrograms;
    unsigned mSeen = 0;
};
}  // namespace

KRVSequencerSMF::KRVSequencerSMF(KRVSequencer* inSequencer, KRVTextOutput* inOutput)
    : mSequencer(inSequencer), mOutput(inOutput) {}

bool KRVSequencerSMF::Export(const char* inFileName) {
    return Export(inFileName, Form::kEveryStep);
}

bool KRVSequencerSMF::ExportHeard(const char* inFileName) {
    return Export(inFileName, Form::kHeard);
}

bool KRVSequencerSMF::Export(const char* inFileName, Form inForm) {
    KRVSMFWriter writer(kFileTicksPerQuarterNote);
    long status = writer.SetTempo(mSequencer->GetBPM());
    mOutput->WriteFormattedLD("MusicTrackNewExtendedTempoEvent returns %ld\n", status);
    if (status != 0) {
        mOutput->WriteFormattedLF(
            "krv: a MIDI file holds no tempo this slow; it plays at %lf bpm\n",
            writer.GetWrittenBPM());
    }
    // Chances are drawn for all tracks at once, in the clock's order.
    const std::vector<std::uint64_t> heard =
        inForm == Form::kHeard ? mSequencer->DrawFirstPass() : std::vector<std::uint64_t>();
    for (int track1 = 1; track1 <= mSequencer->GetTrackCount(); track1++) {
        int fileTrack0 = writer.AddTrack();
        if (fileTrack0 < 0) {
            mOutput->WriteFormattedLD("MusicSequenceNewTrack returns %ld\n", fileTrack0);
            continue;
        }
        if (inForm == Form::kHeard) {
            AddHeardSteps(track1, heard[track1 - 1], fileTrack0, &writer);
        } else {
            AddSteps(track1, fileTrack0, &writer);
        }
    }
    if (writer.GetTrackCount() == 0) {
        return false;
    }
    CheckExportPath(inFileName);
    KRVSafeFile file;
    status = KRVSMFFile::Write(inFileName, writer.Encode(), &file);
    mOutput->WriteFormattedLD("MusicSequenceSaveSMF returns %ld\n", status);
    if (status != 0) {
        mOutput->WriteFormattedSS("krv: can't write '%s': %s\n", inFileName,
                                  KRVSafeFile::Describe(file.GetError()).c_str());
        if (file.MayHaveLostOldContents()) {
            mOutput->WriteFormattedS(
                "krv: '%s' was being rewritten in place: its old contents "
                "may be lost\n",
                inFileName);
        }
        return false;
    }
    for (const std::string& loss : file.GetLosses(inFileName)) {
        mOutput->WriteFormattedS("krv: %s\n", loss.c_str());
    }
    if (inForm == Form::kHeard) {
        ReportHeard(heard);
    }
    return true;
}

// Every track starts at time 0, so the file's tracks play together as the
// sequencer plays them.
void KRVSequencerSMF::AddSteps(int inTrack1, int inFileTrack0, KRVSMFWriter* ioWriter) const {
    const std::uint64_t fileTicksPerTick =
        kFileTicksPerQuarterNote / KRVSequencer::kTicksPerQuarterNote;
    const std::uint64_t ticksPerStep = static_cast<std::uint64_t>(mSequencer->GetTicksPerStep());
    const std::uint64_t stepLength = ticksPerStep * fileTicksPerTick;
    const int steps = mSequencer->GetStepCount();
    TrackPrograms programs;
    for (int step1 = 1; step1 <= steps; step1++) {
        const KRVEvent& event = mSequencer->GetEvent(inTrack1, step1);
        std::uint64_t duration = event.GetGateTime() * stepLength / kGatePercent;
        ioWriter->AddNote(inFileTrack0, (step1 - 1) * stepLength, duration, event.mChannel,
                          event.GetNote(), event.GetVelocity());
        programs.Note(*mSequencer, event);
    }
    programs.Write(inFileTrack0, ioWriter);
    ioWriter->ExtendTrack(inFileTrack0, steps * stepLength);
}

// The sequencer says which steps of the first pass start a note, where its
// repeats start and when the clock ends each, by the rules playback itself
// goes by.
void KRVSequencerSMF::AddHeardSteps(int inTrack1, std::uint64_t inHeardSteps, int inFileTrack0,
                                    KRVSMFWriter* ioWriter) const {
    const std::uint64_t fileTicksPerTick =
        kFileTicksPerQuarterNote / KRVSequencer::kTicksPerQuarterNote;
    const std::uint64_t loopTicks = static_cast<std::uint64_t>(mSequencer->GetLoopTicks());
    TrackPrograms programs;
    for (int step1 = 1; step1 < mSequencer->GetLoopStep(); step1++) {
        if ((inHeardSteps >> (step1 - 1) & 1) == 0) {
            continue;
        }
        const KRVEvent& event = mSequencer->GetEvent(inTrack1, step1);
        for (int repeat0 = 0; repeat0 < mSequencer->GetRepeatCount(inTrack1, step1); repeat0++) {
            // In fiftieths of a tick, which a file tick divides.
            const KRVSequencer::Span span = mSequencer->GetSpan(inTrack1, step1, repeat0);
            const std::uint64_t start = static_cast<std::uint64_t>(span.mStart);
            // A note held past the loop's end ends with the file's pass.
            const std::uint64_t end =
                std::min(static_cast<std::uint64_t>(span.mEnd), loopTicks * 50);
            if (end <= start) {
                continue;
            }
            ioWriter->AddNote(inFileTrack0, start * fileTicksPerTick / 50,
                              (end - start) * fileTicksPerTick / 50, event.mChannel,
                              event.GetNote(), event.GetVelocity(), span.mOverlaps);
        }
        programs.Note(*mSequencer, event);
    }
    programs.Write(inFileTrack0, ioWriter);
    ioWriter->ExtendTrack(
        inFileTrack0, static_cast<std::uint64_t>(mSequencer->GetLoopTicks()) * fileTicksPerTick);
}

// Silent steps are those of the loop that play nothing, whatever the
// reason: a mute, a solo elsewhere, velocity or gate 0, a chance not drawn.
// The rest of a bar its steps do not divide is no step. A step counts once,
// however many repeats its ratchet plays.
void KRVSequencerSMF::ReportHeard(const std::vector<std::uint64_t>& inHeard) const {
    const int steps = std::min(mSequencer->GetLoopStep() - 1, mSequencer->GetStepCount());
    unsigned long heard = 0;
    for (std::uint64_t trackSteps : inHeard) {
        heard += static_cast<unsigned long>(std::popcount(trackSteps));
    }
    const unsigned long silent =
        static_cast<unsigned long>(mSequencer->GetTrackCount()) * steps - heard;
    mOutput->Write((Count(heard, "note") + " heard in a loop of " + Count(steps, "step") + ", " +
                    Count(silent, "silent step") + " left out\n")
                       .c_str());
}

std::string KRVSequencerSMF::Count(std::uint64_t inCount, const char* inNoun) {
    return std::to_string(inCount) + " " + inNoun + (inCount == 1 ? "" : "s");
}

// Reports, before saving, whether the name can be written: an existing file
// is checked itself, a new one by the directory it will be made in. The save
// is tried whatever these say and reports its own status.
void KRVSequencerSMF::CheckExportPath(const char* inFileName) const {
    int status = KRVSMFFile::GetPathStatus(inFileName);
    mOutput->WriteFormattedSD("FSPathMakeRef (%s) returns %d\n", inFileName, status);
    if (status != KRVSMFFile::kFileNotFound) {
        status = KRVSMFFile::GetWritableFileStatus(inFileName);
        mOutput->WriteFormattedD("FSGetCatalogInfo returns %d\n", status);
        return;
    }
    std::string directory = KRVPath::FolderOf(inFileName);
    status = KRVSMFFile::GetPathStatus(directory.c_str());
    if (status != 0) {
        mOutput->WriteFormattedD("FSPathMakeRef returns %d\n", status);
        return;
    }
    status = KRVSMFFile::GetDirectoryStatus(directory.c_str());
    mOutput->WriteFormattedD("FSGetCatalogInfo returns %d\n", status);
}

bool KRVSequencerSMF::Import(const char* inFileName) {
    KRVSMFReader reader(KRVTrack::kMaxSteps);
    if (!Read(inFileName, &reader)) {
        return false;
    }
    TakeTempo(reader);
    TakePrograms(reader);
    mOutput->WriteFormattedLU("KRVShell: %lu tracks in sequence\n",
                              static_cast<unsigned long>(reader.GetTrackCount()));
    LoadTracks(reader);
    return true;
}

// Says what failed, if anything.
bool KRVSequencerSMF::Read(const char* inFileName, KRVSMFReader* ioReader) const {
    KRVSMFFile file;
    long status = file.Open(inFileName);
    if (status != 0) {
        mOutput->WriteFormattedLD("FSPathMakeRef returns %ld\n", status);
        mOutput->WriteFormattedSS("krv: can't read '%s': %s\n", inFileName,
                                  KRVSMFFile::Describe(status).c_str());
        return false;
    }
    std::vector<std::uint8_t> data;
    status = file.ReadAll(&data);
    std::string reason = KRVSMFFile::Describe(status);
    if (status == 0) {
        status = ioReader->Parse(data.data(), data.size());
        reason = KRVSMFReader::Describe(status);
    }
    if (status != 0) {
        mOutput->WriteFormattedLD("MusicSequenceLoadSMF returns %ld\n", status);
        mOutput->WriteFormattedSS("krv: can't read '%s': %s\n", inFileName, reason.c_str());
        return false;
    }
    return true;
}

// A file without a tempo leaves the current one alone, and so does a
// sequence that has tracks.
void KRVSequencerSMF::TakeTempo(const KRVSMFReader& inReader) const {
    double bpm = GetTempo(inReader);
    if (mSequencer->GetTrackCount() == 0 && bpm > 0.0) {
        mSequencer->SetBPM(bpm);
    }
}

// Imported notes play on port 0, where their channels take the file's
// programs, said as the program command says them.
void KRVSequencerSMF::TakePrograms(const KRVSMFReader& inReader) const {
    for (int channel0 = 0; channel0 < KRVPrograms::kChannels; channel0++) {
        const int program0 = inReader.GetProgram(channel0);
        if (program0 >= 0) {
            mSequencer->SetProgram(0, channel0 + 1, program0);
            mOutput->WriteFormattedDD("port 0 channel %d program %d\n", channel0 + 1, program0 + 1);
        }
    }
}

// Each file track with notes becomes a track while the sequence has room;
// what does not fit is counted and said after the tracks.
void KRVSequencerSMF::LoadTracks(const KRVSMFReader& inReader) const {
    const std::uint64_t steps = static_cast<std::uint64_t>(mSequencer->GetStepCount());
    unsigned long tracksLeftOut = 0;
    unsigned long notesLeftOut = 0;
    for (int fileTrack0 = 0; fileTrack0 < inReader.GetTrackCount(); fileTrack0++) {
        const std::vector<KRVSMFNote>& notes = inReader.GetNotes(fileTrack0);
        if (notes.empty()) {
            continue;
        }
        if (!mSequencer->CanAddTrack()) {
            tracksLeftOut++;
            continue;
        }
        mOutput->WriteFormattedD("loaded track %d\n", LoadTrack(notes));
        std::uint64_t count = inReader.GetNoteCount(fileTrack0);
        notesLeftOut += count > steps ? count - steps : 0;
    }
    if (tracksLeftOut > 0) {
        mOutput->WriteFormattedLUD("krv: %lu tracks left out, a sequence holds %d at most\n",
                                   tracksLeftOut, KRVSequencer::kMaxTracks);
    }
    if (notesLeftOut > 0) {
        mOutput->WriteFormattedLUD("krv: %lu notes beyond step %d left out\n", notesLeftOut,
                                   mSequencer->GetStepCount());
    }
    ReportSkippedEvents(inReader);
    if (inReader.GetLaterTempoCount() > 0) {
        mOutput->WriteFormattedLU("krv: %lu tempo changes skipped, the first tempo is the one\n",
                                  static_cast<unsigned long>(inReader.GetLaterTempoCount()));
    }
}

void KRVSequencerSMF::ReportSkippedEvents(const KRVSMFReader& inReader) const {
    if (inReader.GetSkippedEventCount() > 0) {
        mOutput->WriteFormattedLU(
            "krv: %lu events skipped that are not notes (controllers, program changes, pressure, "
            "pitch bends, system exclusive)\n",
            static_cast<unsigned long>(inReader.GetSkippedEventCount()));
    }
}

// The file's first tempo in beats per minute, or 0 when it has none.
double KRVSequencerSMF::GetTempo(const KRVSMFReader& inReader) const {
    if (!inReader.HasTempo()) {
        return 0.0;
    }
    mOutput->WriteFormattedLF("KRVShell: found tempo event for %lf bpm\n", inReader.GetBPM());
    return inReader.GetBPM();
}

// Notes go on steps 1, 2, ... in file order; chords spread over consecutive
// steps and notes beyond the last step are dropped. The remaining steps,
// all but the very last, repeat the last note laid. Returns the new track's
// number; the caller has made sure there are notes and room.
int KRVSequencerSMF::LoadTrack(const std::vector<KRVSMFNote>& inNotes) const {
    const int steps = mSequencer->GetStepCount();
    auto track = std::make_unique<KRVTrack>();
    int step1 = 1;
    const KRVSMFNote* lastNote = &inNotes.front();
    for (const KRVSMFNote& note : inNotes) {
        if (step1 > steps) {
            break;
        }
        FillEvent(note, &track->GetEvent(step1++));
        lastNote = &note;
    }
    for (; step1 < steps; step1++) {
        FillEvent(*lastNote, &track->GetEvent(step1));
    }
    return mSequencer->AddTrack(std::move(track));
}

void KRVSequencerSMF::FillEvent(const KRVSMFNote& inNote, KRVEvent* outEvent) {
    outEvent->mChannel = inNote.mChannel;
    outEvent->mNote = inNote.mNote;
    outEvent->mVelocity = inNote.mVelocity;
    outEvent->mGateTime = kImportedGateTime;
    outEvent->mPort = 0;
}
