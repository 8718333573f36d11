// Standard MIDI Files read byte by byte: formats 0 and 1, running status,
// any division, meta and system exclusive events, and damaged files
// refused with what is wrong and where.
#include <gtest/gtest.h>

#include <string>

#include "common/song_fixture.h"
#include "import/midi_file.h"
#include "support/app_error.h"

namespace {

std::string Be(std::uint32_t v, int n) {
    std::string s;
    for (int i = n - 1; i >= 0; --i) s += char((v >> (8 * i)) & 0xFF);
    return s;
}
std::string Header(int format, int tracks, int division) {
    return "MThd" + Be(6, 4) + Be(format, 2) + Be(tracks, 2) + Be(division, 2);
}
std::string Track(const std::string& body) {
    return "MTrk" + Be(std::uint32_t(body.size()), 4) + body;
}
std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s += char(v);
    return s;
}

std::string RefusalOf(const std::string& bytes) {
    try {
        ParseMidiFile(bytes, "groove.mid");
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), kErrInvalidFileFormat);
        return e.what();
    }
    return "";
}

}  // namespace

TEST(MidiFile, ReadsFormatZeroWithRunningStatusAnyDivisionAndMetaEvents) {
    // 96 ticks a quarter; tempo 100 bpm (600000 us), 3/4; a system
    // exclusive; note on 36 then, by running status, 38 and a note on of
    // velocity 0 (a note off); a two-byte delta-time (200 ticks).
    const std::string body = Bytes({0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0}) +
                             Bytes({0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08}) +
                             Bytes({0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7}) +
                             Bytes({0x00, 0x99, 36, 100}) + Bytes({0x30, 38, 90}) +
                             Bytes({0x10, 38, 0}) + Bytes({0x81, 0x48, 0xC9, 5}) +
                             Bytes({0x00, 0x99, 42, 127}) + Bytes({0x00, 0xFF, 0x2F, 0x00});
    const MidiFileContent c = ParseMidiFile(Header(0, 1, 96) + Track(body), "groove.mid");
    EXPECT_EQ(c.format, 0);
    EXPECT_EQ(c.ticksPerQuarter, 96);
    EXPECT_NEAR(c.bpm, 100.0, 1e-9);
    EXPECT_EQ(c.beatsPerBar, 3);
    EXPECT_EQ(c.beatUnit, 4);
    ASSERT_EQ(c.notes.size(), 3u);
    EXPECT_EQ(c.notes[0], (MidiFileNote{0, 9, 36, 100}));
    EXPECT_EQ(c.notes[1], (MidiFileNote{48, 9, 38, 90}));
    EXPECT_EQ(c.notes[2],
              (MidiFileNote{264, 9, 42, 127}));  // 48 + 16 + 200, after a program change
    EXPECT_EQ(c.endTick, 264u);

    // Format 1: two tracks merged by time; a chunk of another kind passed over.
    const std::string t1 = Bytes({0x10, 0x90, 60, 64, 0x00, 0xFF, 0x2F, 0x00});
    const std::string t2 = Bytes({0x08, 0x99, 36, 127, 0x10, 0x99, 40, 1, 0x00, 0xFF, 0x2F, 0x00});
    const MidiFileContent two = ParseMidiFile(
        Header(1, 2, 480) + "XFIH" + Be(3, 4) + "abc" + Track(t1) + Track(t2), "two.mid");
    ASSERT_EQ(two.notes.size(), 3u);
    EXPECT_EQ(two.notes[0].key, 36);
    EXPECT_EQ(two.notes[1], (MidiFileNote{16, 0, 60, 64}));
    EXPECT_EQ(two.notes[2], (MidiFileNote{24, 9, 40, 1}));
    EXPECT_EQ(two.beatsPerBar, 4);  // no time signature: 4/4
}

TEST(MidiFile, DamagedFilesAreRefusedSayingWhatAndWhere) {
    const std::string end = Bytes({0x00, 0xFF, 0x2F, 0x00});
    const std::string good = Header(0, 1, 96) + Track(Bytes({0x00, 0x99, 36, 100}) + end);
    EXPECT_EQ(RefusalOf(good), "");
    EXPECT_NE(RefusalOf("RIFF0000WAVE").find("does not start with \"MThd\""), std::string::npos);
    EXPECT_NE(RefusalOf(good.substr(0, 10)).find("the header is cut off"), std::string::npos);
    EXPECT_NE(RefusalOf(Header(2, 1, 96) + Track(end)).find("format 2"), std::string::npos);
    EXPECT_NE(RefusalOf(Header(0, 1, 0xE728) + Track(end)).find("SMPTE"), std::string::npos);
    EXPECT_NE(RefusalOf(Header(0, 1, 0) + Track(end)).find("0 ticks per quarter"),
              std::string::npos);
    EXPECT_NE(RefusalOf(Header(0, 2, 96) + Track(end)).find("ends after 1 of its 2 tracks"),
              std::string::npos);
    // A track claiming more bytes than the file has.
    EXPECT_NE(RefusalOf(Header(0, 1, 96) + "MTrk" + Be(1000, 4) + end).find("runs past the end"),
              std::string::npos);
    // A data byte with no status before it, and where it is.
    const std::string orphan = RefusalOf(Header(0, 1, 96) + Track(Bytes({0x00, 36, 100}) + end));
    EXPECT_NE(orphan.find("a data byte comes without a status (at byte 24)"), std::string::npos)
        << orphan;
    EXPECT_NE(RefusalOf(Header(0, 1, 96) + Track(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x7F}) + end))
                  .find("longer than 4 bytes"),
              std::string::npos);
    // An event cut off by its track's end, though the file goes on.
    EXPECT_NE(RefusalOf(Header(0, 1, 96) + Track(Bytes({0x00, 0x99, 36})) + Track(end))
                  .find("an event is cut off"),
              std::string::npos);
    EXPECT_NE(RefusalOf(Header(0, 1, 96) + Track(Bytes({0x00, 0xFF, 0x01, 0x40, 'a'})))
                  .find("meta event runs past the end of its chunk"),
              std::string::npos);
    EXPECT_NE(RefusalOf(Header(0, 1, 96) + Track(Bytes({0x00, 0xF2, 0, 0}) + end))
                  .find("status 242 does not belong"),
              std::string::npos);
    // The name of the file opens every refusal.
    EXPECT_EQ(RefusalOf(Header(2, 1, 96)).rfind("\u201Cgroove.mid\u201D", 0), 0u);
}
