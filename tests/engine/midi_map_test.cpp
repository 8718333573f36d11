// The MIDI map: which note plays each track and the channel listened to,
// an edit kept in the song's file and played by the live voices.
#include <cmath>

#include "common/engine_fixture.h"
#include "song/song_extension.h"

namespace {

// Frames of the live voices' output for a note arriving at frame 0.
float Heard(Engine& engine, int status, int note) {
    engine.WaitForLiveKit();
    std::vector<float> left(64, 0.0f), right(64, 0.0f);
    const MidiEvent e{0, 3, {std::uint8_t(status), std::uint8_t(note), 127}};
    engine.Live()->Mix(left.data(), right.data(), 64, &e, 1, 0);
    float peak = 0;
    for (float v : left) peak = std::max(peak, std::fabs(v));
    // Let what rang out end before the next note.
    for (int i = 0; i < 20000; ++i)
        engine.Live()->Mix(left.data(), right.data(), 64, nullptr, 0, 0);
    return peak;
}

AudioSample Loud(LONG) {
    return 12000;
}

// An output with a callback of its own, as JACK's is, whose callback the
// test runs by hand (Heard): the engine makes the voices' kit for it.
class LiveTestDevice : public VirtualDevice {
  public:
    OutputStatus Status() const override {
        OutputStatus s;
        s.live = true;
        s.rate = 44100;
        s.period = 64;
        return s;
    }
};

}  // namespace

TEST_F(EngineTest, TheMidiMapIsAnEditTheVoicesPlayAndTheSongKeeps) {
    Engine& engine = *engine_;
    engine.StartEmpty();
    engine.SetSample(0, MakeSignal(100, 2, Loud), u"one");
    engine.AddTrack();
    engine.SetSample(1, MakeSignal(100, 2, Loud), u"two");
    SetDefaultSoundDevice(std::make_shared<LiveTestDevice>());
    engine.StartLive();
    engine.Live()->Prepare(44100, 8192);
    // By default track k plays note 36 + k on any channel.
    EXPECT_GT(Heard(engine, 0x90, 36), 0.0f);
    EXPECT_EQ(engine.Live()->LastNote().track, 0);
    EXPECT_GT(Heard(engine, 0x99, 37), 0.0f);
    EXPECT_EQ(engine.Live()->LastNote().track, 1);

    // Track 1 on note 40, channel 10 only: one edit.
    const std::size_t edits = engine.Undo().Count();
    engine.SetMidiMap({{-1, 40}, 10});
    EXPECT_EQ(engine.Undo().Count(), edits + 1);
    EXPECT_EQ(engine.Undo().UndoText(), "MIDI Map");
    EXPECT_EQ(Heard(engine, 0x99, 37), 0.0f);
    EXPECT_EQ(engine.Live()->LastNote().track, -1);
    EXPECT_GT(Heard(engine, 0x99, 40), 0.0f);
    EXPECT_EQ(engine.Live()->LastNote().track, 1);
    EXPECT_EQ(Heard(engine, 0x90, 36), 0.0f) << "channel 1 is not listened to";
    EXPECT_EQ(ErrorOf([&] { engine.SetMidiMap({{128}, 0}); }), kErrInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { engine.SetMidiMap({{}, 17}); }), kErrInvalidArgument);

    // Kept in the song's file, and read back.
    const std::string path = Folder("map.loop");
    engine.SaveSong(path);
    Engine again;
    again.OpenSong(path);
    const Engine::MidiMap read = again.GetMidiMap();
    ASSERT_GE(read.notes.size(), 2u);
    EXPECT_EQ(read.notes[0], -1);
    EXPECT_EQ(read.notes[1], 40);
    EXPECT_EQ(read.channel, 10);
    // Undone: the defaults again, and nothing of it in the file's block.
    engine.Undo().Undo();
    EXPECT_EQ(engine.GetMidiMap().notes[1], -1);
    EXPECT_EQ(engine.GetMidiMap().channel, 0);
    EXPECT_GT(Heard(engine, 0x90, 37), 0.0f);
    EXPECT_FALSE(HasExtension(*engine.GetSong()));
}
