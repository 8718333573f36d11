// Notes from the ALSA sequencer: its events as MIDI messages (no device
// needed), those messages played by the live voices, and, where this
// machine has a sequencer, a note sent from another client through it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "live/live_voices.h"
#include "midi/sequencer_clock.h"
#include "midi/sequencer_input.h"

namespace {

snd_seq_event_t Note(unsigned char type, int channel, int note, int velocity) {
    snd_seq_event_t e{};
    e.type = type;
    e.data.note.channel = (unsigned char)channel;
    e.data.note.note = (unsigned char)note;
    e.data.note.velocity = (unsigned char)velocity;
    return e;
}

snd_seq_event_t Control(unsigned char type, int channel, unsigned param, int value) {
    snd_seq_event_t e{};
    e.type = type;
    e.data.control.channel = (unsigned char)channel;
    e.data.control.param = param;
    e.data.control.value = value;
    return e;
}

std::vector<std::uint8_t> Bytes(const MidiEvent& m) {
    return std::vector<std::uint8_t>(m.data, m.data + m.size);
}

}  // namespace

TEST(Sequencer, EventsBecomeTheMidiMessagesTheyStandFor) {
    MidiEvent m{};
    ASSERT_TRUE(MidiOfSequencerEvent(Note(SND_SEQ_EVENT_NOTEON, 9, 36, 100), &m));
    EXPECT_EQ(Bytes(m), (std::vector<std::uint8_t>{0x99, 36, 100}));
    ASSERT_TRUE(MidiOfSequencerEvent(Note(SND_SEQ_EVENT_NOTEOFF, 0, 38, 0), &m));
    EXPECT_EQ(Bytes(m), (std::vector<std::uint8_t>{0x80, 38, 0}));
    ASSERT_TRUE(MidiOfSequencerEvent(Control(SND_SEQ_EVENT_CONTROLLER, 2, 7, 90), &m));
    EXPECT_EQ(Bytes(m), (std::vector<std::uint8_t>{0xB2, 7, 90}));
    ASSERT_TRUE(MidiOfSequencerEvent(Control(SND_SEQ_EVENT_PGMCHANGE, 15, 0, 5), &m));
    EXPECT_EQ(Bytes(m), (std::vector<std::uint8_t>{0xCF, 5}));
    ASSERT_TRUE(MidiOfSequencerEvent(Control(SND_SEQ_EVENT_PITCHBEND, 0, 0, -8192), &m));
    EXPECT_EQ(Bytes(m), (std::vector<std::uint8_t>{0xE0, 0, 0}));
    ASSERT_TRUE(MidiOfSequencerEvent(Control(SND_SEQ_EVENT_PITCHBEND, 0, 0, 9000), &m));
    EXPECT_EQ(Bytes(m), (std::vector<std::uint8_t>{0xE0, 0x7F, 0x7F})) << "clamped";
    // Out-of-range fields never make a status byte out of a data byte.
    ASSERT_TRUE(MidiOfSequencerEvent(Note(SND_SEQ_EVENT_NOTEON, 200, 200, 255), &m));
    EXPECT_EQ(m.data[0] & 0xF0, 0x90);
    EXPECT_LT(m.data[1], 0x80);
    EXPECT_LT(m.data[2], 0x80);
    // Clock, system exclusive and port connections are nothing here.
    for (unsigned char type : {SND_SEQ_EVENT_CLOCK, SND_SEQ_EVENT_SYSEX,
                               SND_SEQ_EVENT_PORT_SUBSCRIBED, SND_SEQ_EVENT_START})
        EXPECT_FALSE(MidiOfSequencerEvent(Note(type, 0, 36, 100), &m)) << int(type);
}

TEST(Sequencer, ItsNotesPlayAtTheStartOfTheNextPeriodAndAFloodIsDropped) {
    LiveVoices voices;
    LiveKit kit;
    auto sound = std::make_shared<LiveSound>();
    sound->rate = 48000;
    sound->left.assign(100, 0.5f);
    sound->right.assign(100, 0.5f);
    kit.sounds = {sound};
    kit.gains = {1.0f};
    kit.trackOfNote[36] = 0;
    voices.SetKit(kit);
    voices.Prepare(48000, 8192);
    MidiEvent m{};
    ASSERT_TRUE(MidiOfSequencerEvent(Note(SND_SEQ_EVENT_NOTEON, 9, 36, 127), &m));
    m.frame = 77;  // where it came does not count: it came between periods
    EXPECT_TRUE(voices.Midi(m));
    std::vector<float> left(64, 0.0f), right(64, 0.0f);
    voices.Mix(left.data(), right.data(), 64, nullptr, 0, 0);
    EXPECT_FLOAT_EQ(left[0], 0.5f);
    EXPECT_EQ(voices.LastNote().channel, 10);
    for (int i = 0; i < 1000; ++i) voices.Midi(m);
    EXPECT_EQ(voices.Dropped(), 1000u - LiveVoices::kQueued);
}

TEST(Sequencer, ANoteSentByAnotherClientArrives) {
    if (!SequencerInput::Available())
        GTEST_SKIP() << "this machine has no ALSA sequencer (/dev/snd/seq)";
    std::mutex mutex;
    std::vector<MidiEvent> got;
    std::string why;
    auto input = SequencerInput::Open(
        [&](const MidiEvent& e) {
            std::lock_guard<std::mutex> lock(mutex);
            got.push_back(e);
        },
        &why);
    ASSERT_NE(input, nullptr) << why;
    snd_seq_t* sender = nullptr;
    ASSERT_GE(snd_seq_open(&sender, "default", SND_SEQ_OPEN_OUTPUT, 0), 0);
    const int port = snd_seq_create_simple_port(sender, "out", SND_SEQ_PORT_CAP_READ,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC);
    snd_seq_addr_t to{};
    ASSERT_EQ(snd_seq_parse_address(sender, &to, input->Address().c_str()), 0);
    ASSERT_GE(snd_seq_connect_to(sender, port, to.client, to.port), 0);
    snd_seq_event_t e = Note(SND_SEQ_EVENT_NOTEON, 9, 38, 99);
    snd_seq_ev_set_source(&e, port);
    snd_seq_ev_set_subs(&e);
    snd_seq_ev_set_direct(&e);
    snd_seq_event_output_direct(sender, &e);
    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!got.empty()) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    snd_seq_close(sender);
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(Bytes(got[0]), (std::vector<std::uint8_t>{0x99, 38, 99}));
}

TEST(Sequencer, ClockMessagesBecomeTheirEventsAndNothingElseDoes) {
    auto of = [](std::vector<std::uint8_t> bytes, snd_seq_event_t* e) {
        return SequencerEventOfClock(bytes.data(), bytes.size(), e);
    };
    snd_seq_event_t e{};
    const std::pair<std::uint8_t, int> kinds[] = {{0xF8, SND_SEQ_EVENT_CLOCK},
                                                  {0xFA, SND_SEQ_EVENT_START},
                                                  {0xFB, SND_SEQ_EVENT_CONTINUE},
                                                  {0xFC, SND_SEQ_EVENT_STOP}};
    for (const auto& [byte, type] : kinds) {
        ASSERT_TRUE(of({byte}, &e)) << int(byte);
        EXPECT_EQ(e.type, type);
    }
    // Song Position Pointer: 14 bits, least significant first.
    ASSERT_TRUE(of({0xF2, 0x05, 0x02}, &e));
    EXPECT_EQ(e.type, SND_SEQ_EVENT_SONGPOS);
    EXPECT_EQ(e.data.control.value, 5 + (2 << 7));
    // Neither a note, nor a position cut short or with a status byte for
    // data, nor nothing.
    EXPECT_FALSE(of({0x99, 38, 99}, &e));
    EXPECT_FALSE(of({0xF2, 0x05}, &e));
    EXPECT_FALSE(of({0xF2, 0x85, 0x00}, &e));
    EXPECT_FALSE(of({}, &e));
}

TEST(Sequencer, TheClockPortSendsEachMessageWhenItIsDue) {
    if (!SequencerInput::Available())
        GTEST_SKIP() << "this machine has no ALSA sequencer (/dev/snd/seq)";
    std::string why;
    auto clock = SequencerClock::Open(&why);
    ASSERT_NE(clock, nullptr) << why;
    snd_seq_t* listener = nullptr;
    ASSERT_GE(snd_seq_open(&listener, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK), 0);
    const int port = snd_seq_create_simple_port(listener, "in", SND_SEQ_PORT_CAP_WRITE,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC);
    snd_seq_addr_t from{};
    ASSERT_EQ(snd_seq_parse_address(listener, &from, clock->Address().c_str()), 0);
    ASSERT_GE(snd_seq_connect_from(listener, port, from.client, from.port), 0);
    auto nowUs = [] {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    // Start, then a pulse every 20 ms from 100 ms on, handed in at once
    // (as the output's callback hands in a period's messages ahead).
    const std::int64_t first = nowUs() + 100000;
    const std::uint8_t start = 0xFA, pulse = 0xF8;
    clock->Send(&start, 1, first);
    for (int k = 0; k < 10; ++k) clock->Send(&pulse, 1, first + k * 20000);
    std::vector<std::pair<int, std::int64_t>> got;  // type, arrival
    while (got.size() < 11 && nowUs() < first + 2000000) {
        snd_seq_event_t* e = nullptr;
        if (snd_seq_event_input(listener, &e) >= 0 && e)
            got.push_back({e->type, nowUs()});
        else
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    snd_seq_close(listener);
    ASSERT_EQ(got.size(), 11u);
    EXPECT_EQ(got[0].first, SND_SEQ_EVENT_START);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(got[1 + k].first, SND_SEQ_EVENT_CLOCK);
        // The queue places them; the listener's wake-up adds a little.
        EXPECT_NEAR(double(got[1 + k].second - (first + k * 20000)), 0.0, 2000.0) << k;
    }
    EXPECT_EQ(clock->Dropped(), 0u);
}
