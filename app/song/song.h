// The song: a tempo, one sample per track and the loops, each a grid of
// tracks by ticks. Track j of every loop plays the sample in slot j. Beyond
// what the song file's records hold, a song has a swing, an arrangement
// (the loops in the order a piece plays them) and the records of newer
// programs that it keeps as they came (song/song_extension.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "song/sample.h"
#include "song/sequence_loop.h"
#include "support/file_streams.h"

// One step of an arrangement: a loop played so many passes in a row.
struct ArrangementStep {
    std::uint8_t loop = 0;
    std::uint16_t repeats = 1;
    bool operator==(const ArrangementStep&) const = default;
};

// A record of the extension block that this program does not know; kept
// as it came and written back.
struct ExtensionRecord {
    std::uint16_t type = 0;
    std::vector<std::uint8_t> payload;
    bool operator==(const ExtensionRecord&) const = default;
};

// Variation played into every hit, the same at every rendering: each hit
// is moved by up to timing milliseconds either way and its velocity by up
// to velocity percent either way, drawn from seed.
struct Humanize {
    static constexpr int kMaxTiming = 20;
    static constexpr int kMaxVelocity = 30;
    std::uint8_t timing = 0;
    std::uint8_t velocity = 0;
    std::uint32_t seed = 0;
    bool IsOff() const { return timing == 0 && velocity == 0; }
    bool operator==(const Humanize&) const = default;
};

class Song {
  public:
    Song();

    // Drops every loop and every rendering; loop 0 comes back with the same
    // track layout, all ticks off. Samples and tempo stay.
    void ClearLoops();
    // Tempo in beats per minute, as currency (the value times 10000).
    std::int64_t Bpm() const { return bpm_; }
    void SetBpm(std::int64_t bpm) { bpm_ = bpm; }
    // The sample of track index, made (without audio) when missing.
    std::shared_ptr<Sample> SampleAt(std::int32_t index);
    // Removes track index: the samples above move down one slot and every
    // loop loses its track at index.
    void RemoveTrack(std::int32_t index);
    // Loop index, made when missing with loop 0's track layout, all off.
    std::shared_ptr<SequenceLoop> Sequence(std::int32_t index);
    // The number of sample slots: 10 for a new song, never less.
    std::int32_t NumTracks() const { return static_cast<std::int32_t>(sampleSlots_.size()); }

    // Puts back sample slots taken before (undoing a change of the tracks).
    void SetSampleSlots(std::vector<std::shared_ptr<Sample>> samples) {
        sampleSlots_ = std::move(samples);
    }
    // Puts back loop slots taken before (undoing New).
    void SetLoopSlots(std::vector<std::shared_ptr<SequenceLoop>> loops) {
        loopSlots_ = std::move(loops);
    }
    // How far every second tick is delayed, in hundredths of a percent of a
    // tick (0 to 5000, that is 0 to 50 %).
    static constexpr std::uint16_t kMaxSwing = 5000;
    std::uint16_t Swing() const { return swing_; }
    void SetSwing(std::uint16_t swing) { swing_ = swing; }
    // The level of the whole mix in hundredths of a dB (-6000 to +1200);
    // 0 changes nothing.
    static constexpr int kMinMasterLevel = -6000, kMaxMasterLevel = 1200;
    int MasterLevel() const { return masterLevel_; }
    void SetMasterLevel(int level) { masterLevel_ = level; }
    const Humanize& GetHumanize() const { return humanize_; }
    void SetHumanize(Humanize h) { humanize_ = h; }
    // The MIDI channel live notes are taken from: 0 for all, else 1 to 16.
    int MidiChannel() const { return midiChannel_; }
    void SetMidiChannel(int channel) { midiChannel_ = channel; }
    const std::vector<ArrangementStep>& Arrangement() const { return arrangement_; }
    void SetArrangement(std::vector<ArrangementStep> steps) { arrangement_ = std::move(steps); }
    const std::vector<ExtensionRecord>& UnknownRecords() const { return unknown_; }
    void SetUnknownRecords(std::vector<ExtensionRecord> records) { unknown_ = std::move(records); }
    // The types of the block's records in the order the file had them, so
    // that a save keeps it (records of other types among them).
    const std::vector<std::uint16_t>& RecordOrder() const { return recordOrder_; }
    void SetRecordOrder(std::vector<std::uint16_t> order) { recordOrder_ = std::move(order); }
    // A block this program could not read (damaged, or of a newer
    // program), kept as it came: it is written back unchanged as long as
    // the song holds nothing of its own for the block.
    const std::vector<std::uint8_t>& UnreadBlock() const { return unreadBlock_; }
    void SetUnreadBlock(std::vector<std::uint8_t> block) { unreadBlock_ = std::move(block); }

    // What the song holds without making anything (for writing and tests).
    const std::vector<std::shared_ptr<Sample>>& SampleSlots() const { return sampleSlots_; }
    const std::vector<std::shared_ptr<SequenceLoop>>& LoopSlots() const { return loopSlots_; }

    void WriteToFile(BinaryStream& out) const;
    void ReadFromFile(BinaryStream& in);

  private:
    std::vector<std::shared_ptr<Sample>> sampleSlots_;
    std::vector<std::shared_ptr<SequenceLoop>> loopSlots_;
    std::int64_t bpm_ = 0;
    std::uint16_t swing_ = 0;
    int midiChannel_ = 0;
    int masterLevel_ = 0;
    Humanize humanize_;
    std::vector<ArrangementStep> arrangement_;
    std::vector<ExtensionRecord> unknown_;
    std::vector<std::uint16_t> recordOrder_;
    std::vector<std::uint8_t> unreadBlock_;
};
