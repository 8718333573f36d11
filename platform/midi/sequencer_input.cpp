#include "midi/sequencer_input.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

bool MidiOfSequencerEvent(const snd_seq_event_t& e, MidiEvent* out) {
    const auto channel = [](unsigned c) { return std::uint8_t(c & 0x0F); };
    const auto data = [](int v) { return std::uint8_t(v & 0x7F); };
    out->frame = 0;
    switch (e.type) {
        case SND_SEQ_EVENT_NOTEON:
            *out = {0,
                    3,
                    {std::uint8_t(0x90 | channel(e.data.note.channel)), data(e.data.note.note),
                     data(e.data.note.velocity)}};
            return true;
        case SND_SEQ_EVENT_NOTEOFF:
            *out = {0,
                    3,
                    {std::uint8_t(0x80 | channel(e.data.note.channel)), data(e.data.note.note),
                     data(e.data.note.velocity)}};
            return true;
        case SND_SEQ_EVENT_KEYPRESS:
            *out = {0,
                    3,
                    {std::uint8_t(0xA0 | channel(e.data.note.channel)), data(e.data.note.note),
                     data(e.data.note.velocity)}};
            return true;
        case SND_SEQ_EVENT_CONTROLLER:
            *out = {0,
                    3,
                    {std::uint8_t(0xB0 | channel(e.data.control.channel)),
                     data(int(e.data.control.param)), data(e.data.control.value)}};
            return true;
        case SND_SEQ_EVENT_PGMCHANGE:
            *out = {0,
                    2,
                    {std::uint8_t(0xC0 | channel(e.data.control.channel)),
                     data(e.data.control.value), 0}};
            return true;
        case SND_SEQ_EVENT_CHANPRESS:
            *out = {0,
                    2,
                    {std::uint8_t(0xD0 | channel(e.data.control.channel)),
                     data(e.data.control.value), 0}};
            return true;
        case SND_SEQ_EVENT_PITCHBEND: {
            const int v = std::clamp(e.data.control.value + 8192, 0, 16383);
            *out = {0,
                    3,
                    {std::uint8_t(0xE0 | channel(e.data.control.channel)), data(v), data(v >> 7)}};
            return true;
        }
        default:
            return false;
    }
}

bool SequencerInput::Available() {
    return ::access("/dev/snd/seq", R_OK | W_OK) == 0;
}

std::unique_ptr<SequencerInput> SequencerInput::Open(Sink sink, std::string* error) {
    snd_seq_t* seq = nullptr;
    int r = snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
    if (r < 0) {
        if (error)
            *error = std::string("The ALSA sequencer will not open: ") + snd_strerror(r) + ".";
        return nullptr;
    }
    snd_seq_set_client_name(seq, "Trellon");
    const int port = snd_seq_create_simple_port(
        seq, "Trellon", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) {
        if (error)
            *error = std::string("The ALSA sequencer refused Trellon's port: ") +
                     snd_strerror(port) + ".";
        snd_seq_close(seq);
        return nullptr;
    }
    return std::unique_ptr<SequencerInput>(new SequencerInput(seq, port, std::move(sink)));
}

SequencerInput::SequencerInput(snd_seq_t* seq, int port, Sink sink)
    : seq_(seq), port_(port), sink_(std::move(sink)) {
    if (::pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this] { Run(); });
}

SequencerInput::~SequencerInput() {
    if (wake_[1] >= 0) {
        const char bye = 0;
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &bye, 1);
    }
    thread_.join();
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
    snd_seq_close(seq_);
}

std::string SequencerInput::Address() const {
    return std::to_string(snd_seq_client_id(seq_)) + ":" + std::to_string(port_);
}

void SequencerInput::Run() {
    const int count = snd_seq_poll_descriptors_count(seq_, POLLIN);
    std::vector<pollfd> fds(std::size_t(count) + 1);
    snd_seq_poll_descriptors(seq_, fds.data(), unsigned(count), POLLIN);
    fds.back() = {wake_[0], POLLIN, 0};
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
        if (fds.back().revents) return;
        // Everything that came, without waiting; a flood is read as fast
        // as it comes and its notes queued (or dropped) by the sink.
        for (;;) {
            snd_seq_event_t* e = nullptr;
            const int r = snd_seq_event_input(seq_, &e);
            if (r == -EAGAIN || r == -ENOSPC) break;  // empty, or an overrun: go on
            if (r < 0 || !e) break;
            received_.fetch_add(1, std::memory_order_relaxed);
            MidiEvent m;
            if (MidiOfSequencerEvent(*e, &m)) sink_(m);
        }
    }
}
