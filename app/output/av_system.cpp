#include "output/av_system.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "output/frame_reader.h"
#include "support/app_error.h"
#include "support/integers.h"

namespace {

// The designed sentence, then what was tried and what to check.
[[noreturn]] void ThrowNoDevice(const std::string& tried) {
    ThrowError(kErrNoAudioDevice,
               std::string(kTextNoAudioDevice) + (tried.empty() ? "" : " " + tried) +
                   " Check that the sound server is running and the device is connected, or "
                   "choose another output (Audio > Output Device, or --audio-driver and "
                   "--audio-device).");
}

bool ReaderAtEnd(IWavReader* r) {
    VARIANT_BOOL eof = VARIANT_FALSE;
    Check(r->get_EOF(&eof));
    return eof != VARIANT_FALSE;
}

LONG PositionOf(IWavReader* r) {
    LONG pos = 0;
    Check(r->get_AbsolutePosition(&pos));
    return pos;
}

}  // namespace

AvSystem::~AvSystem() {
    try {
        StopPlaying();
    } catch (const AppError&) {
    }
    if (startEventId_ != 0) {
        directX_->DestroyEvent(startEventId_);
        directX_->DestroyEvent(halfEventId_);
        directX_->DestroyEvent(stopEventId_);
    }
}

void AvSystem::Enqueue(IWavReader* reader, long tag) {
    queuedReader_ = ComPtr<IWavReader>(reader);
    queuedTag_ = tag;
}

void AvSystem::PlayAudio(IWavReader* audioFile, const PlayOptions& options) {
    playLoop_ = options.PlayLoop;
    atEnd_ = false;
    reader_ = ComPtr<IWavReader>(audioFile);
    Check(reader_->Skip(options.StartPos));
    startPos_ = options.StartPos;
    endPos_ = options.EndPos;
    tag_ = options.Tag;

    if (!directX_) directX_ = std::make_unique<DirectX8>();
    // Another output chosen meanwhile, or a device whose server went away,
    // is replaced by a start from idle: the old device goes first, so that
    // its driver stops.
    if (sound_ && !isPlaying_ && (soundGeneration_ != SoundOutputGeneration() || sound_->Gone()))
        ReleaseDevice();
    // A device that could not be opened is tried again on every play.
    if (!sound_) {
        soundGeneration_ = SoundOutputGeneration();
        sound_ = directX_->DirectSoundCreate("");
        if (!sound_) ThrowNoDevice(DefaultSoundDeviceError());
        Check(sound_->SetCooperativeLevel(options.hwnd, DSSCL_NORMAL));
    }

    if (isPlaying_) {
        // Switch at once: the new audio goes into the half not being heard,
        // and the play position jumps there, about where the buffer plays
        // now.
        const std::uint64_t playedNow = buffer_->FramesPlayed();
        playedLead_ = (long long)playedNow - (long long)written_;
        LogPass(playedNow, tag_, startPos_);
        if (playingHalfOffset_ == 0) {
            HandleNotification(startEventId_, true);
            Check(buffer_->SetCurrentPosition(halfBytes_));
            playingHalfOffset_ = halfBytes_;
            // A jump onto the half's start passes no notification, so the
            // first half, still holding the old audio, is refilled here as
            // the half notification would have done.
            HandleNotification(halfEventId_, true);
        } else {
            HandleNotification(halfEventId_, true);
            Check(buffer_->SetCurrentPosition(0));
            playingHalfOffset_ = 0;
        }
        return;
    }

    SHORT channels = 0, bytesPerSample = 0;
    LONG rate = 0;
    Check(reader_->get_NumChannels(&channels));
    Check(reader_->get_SampleRate(&rate));
    Check(reader_->get_BytesPerSample(&bytesPerSample));
    constexpr char kTooLarge[] = "The sound buffer for this audio would be too large";
    halfFrames_ = options.HalfBufferSize > 0 ? options.HalfBufferSize
                                             : RoundToLong(double(rate) * channels / 2, kTooLarge);
    halfValues_ = CheckedLong(LONGLONG{channels} * halfFrames_, kTooLarge);
    halfBytes_ = CheckedLong(LONGLONG{bytesPerSample} * halfValues_, kTooLarge);
    CheckedLong(2LL * halfBytes_, kTooLarge);

    DSBUFFERDESC desc{};
    desc.lFlags = DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GETCURRENTPOSITION2;
    desc.lBufferBytes = 2 * halfBytes_;
    Check(reader_->get_fxFormat(&desc.fxFormat));
    buffer_ = sound_->CreateSoundBuffer(desc);
    if (!buffer_) ThrowNoDevice(sound_->LastError());

    if (startEventId_ == 0) {
        // Made once: this sink gets every notification until it detaches.
        sink_ = options.EventSink;
        startEventId_ = directX_->CreateEvent(sink_);
        halfEventId_ = directX_->CreateEvent(sink_);
        stopEventId_ = directX_->CreateEvent(sink_);
    }
    notifyTable_[0] = {1, startEventId_};
    notifyTable_[1] = {halfBytes_, halfEventId_};
    notifyTable_[2] = {DSBPN_OFFSETSTOP, stopEventId_};
    Check(buffer_->SetNotificationPositions(3, notifyTable_));
    isPlaying_ = true;
    // A new stream: its first notification is no repeat of the last one
    // taken from the stream before.
    lastEventId_ = 0;
    written_ = 0;
    playedLead_ = 0;
    passes_.clear();
    passCount_ = 0;
    LogPass(0, tag_, startPos_);
    FillHalf(0);
    playingHalfOffset_ = 0;
    Check(buffer_->SetCurrentPosition(0));
    if (options.StartAt) buffer_->StartAt(options.StartAt);
    if (options.StartWithTransport >= 0)
        buffer_->StartWithTransport(std::uint64_t(options.StartWithTransport));
    Check(buffer_->Play(DSBPLAY_LOOPING));
}

void AvSystem::DetachSink(DirectXEvent8* sink) {
    if (startEventId_ == 0 || sink != sink_) return;
    try {
        StopPlaying();
    } catch (const AppError&) {
    }
    directX_->DestroyEvent(startEventId_);
    directX_->DestroyEvent(halfEventId_);
    directX_->DestroyEvent(stopEventId_);
    startEventId_ = halfEventId_ = stopEventId_ = lastEventId_ = 0;
    stopsToCome_ = staleStops_ = 0;
    sink_ = nullptr;
}

void AvSystem::ReleaseDevice() {
    if (isPlaying_) return;
    buffer_ = nullptr;
    sound_ = nullptr;
    ReleaseDefaultSoundDevice();
}

void AvSystem::StopPlaying() {
    if (!isPlaying_) return;
    isPlaying_ = false;
    // What the stopped stream signalled is still on its way: none of it
    // may refill a stream started after this, until its stop arrives.
    if (buffer_->IsPlaying()) ++stopsToCome_;
    staleStops_ = stopsToCome_;
    reader_ = nullptr;
    Check(buffer_->Stop());
}

void AvSystem::Pause() {
    if (!buffer_ || !isPlaying_) return;
    // The stop notification this raises is not the end of the stream.
    if (buffer_->IsPlaying()) ++stopsToCome_;
    Check(buffer_->Stop());
}

void AvSystem::UnPause() {
    if (isPlaying_) Check(buffer_->Play(DSBPLAY_LOOPING));
}

LONG AvSystem::PlaybackPosition() const {
    return reader_ ? PositionOf(reader_.get()) : 0;
}

void AvSystem::LogPass(std::uint64_t played, long tag, LONG first) {
    // Hits are placed within a second or so of being played: a few passes
    // back are enough.
    constexpr std::size_t kKept = 16;
    passes_.push_back({played, tag, passCount_, first});
    if (passes_.size() > kKept) passes_.pop_front();
    PassMark mark;
    mark.played = played;
    mark.first = first;
    mark.number = passCount_++;
    const auto grid = grids_.find(tag);
    if (grid != grids_.end() && grid->second.ticksPerBeat > 0 &&
        24 % grid->second.ticksPerBeat == 0) {
        mark.ticks = grid->second.ticks;
        mark.tickLength = grid->second.tickLength;
        mark.pulsesPerTick = std::uint8_t(24 / grid->second.ticksPerBeat);
    }
    if (buffer_) buffer_->MarkPass(mark);
}

bool AvSystem::PlaceAt(std::uint64_t clock, StreamPlace* place) const {
    std::uint64_t played = 0;
    if (!isPlaying_ || !buffer_ || !buffer_->FramesPlayedAt(clock, &played)) return false;
    for (auto p = passes_.rbegin(); p != passes_.rend(); ++p) {
        if (p->played > played) continue;
        const std::uint64_t into = played - p->played;
        if (into > std::uint64_t(LONG_MAX - p->first)) return false;
        *place = {p->tag, p->number, p->first + LONG(into)};
        return true;
    }
    return false;
}

void AvSystem::HandleNotification(LONG eventid, bool force) {
    if (eventid == stopEventId_ && stopsToCome_ > 0) {
        --stopsToCome_;
        if (staleStops_ > 0) --staleStops_;
        return;
    }
    if (staleStops_ > 0 || !reader_) return;
    if (atEnd_) StopPlaying();
    if (eventid == lastEventId_ && !force) return;
    lastEventId_ = eventid;
    if (atEnd_) return;
    if (ReaderAtEnd(reader_.get())) {
        atEnd_ = true;
        return;
    }
    if (eventid == startEventId_) {
        FillHalf(halfBytes_);
        playingHalfOffset_ = 0;
    } else if (eventid == halfEventId_) {
        FillHalf(0);
        playingHalfOffset_ = halfBytes_;
    } else if (eventid == stopEventId_) {
        StopPlaying();
    }
    if (reader_ && ReaderAtEnd(reader_.get()) && playLoop_) StartNextPass();
}

void AvSystem::StartNextPass() {
    if (queuedReader_) {
        reader_ = std::move(queuedReader_);
        queuedReader_ = nullptr;
        tag_ = queuedTag_;
    } else {
        Check(reader_->Skip(-PositionOf(reader_.get())));
    }
}

void AvSystem::ReadHalfInto(AudioSample* values) {
    const LONG channels = halfFrames_ > 0 ? halfValues_ / halfFrames_ : 1;
    LONG filled = 0;
    // A looping stream runs on into the next pass in the same half, so
    // passes join without a gap; a pass that gives nothing ends in silence.
    bool restarted = false;
    while (filled < halfValues_) {
        const bool eof = ReaderAtEnd(reader_.get());
        const LONG pos = PositionOf(reader_.get());
        if (!((pos < endPos_ || endPos_ < 0) && !eof)) {
            if (!playLoop_ || restarted) break;
            StartNextPass();
            LogPass(std::uint64_t((long long)(written_ + std::uint64_t(filled / channels)) +
                                  playedLead_),
                    tag_, 0);
            restarted = true;
            continue;
        }
        const LONG framesLeft = (halfValues_ - filled) / channels;
        const LONG n = endPos_ < 0 ? framesLeft : MinLong(framesLeft, endPos_ - pos);
        LONG got = 0;
        if (IFrameReader* direct = DirectReader()) {
            // Straight from the reader's audio into the device's ring.
            Check(direct->ReadInto(n, values + filled, &got));
            got = MinLong(got, n) * channels;
        } else {
            ComPtr<IWav> block;
            Check(reader_->Read(n, block.Out()));
            SafeArrayPtr data;
            Check(block->get_RawData(0, -1, data.Out()));
            got = LONG(std::min<std::size_t>(data.Count(), std::size_t(halfValues_ - filled)));
            std::copy_n(data.Data<const AudioSample>(), got, values + filled);
        }
        filled += got;
        if (!playLoop_) break;  // without looping, one read and the rest silence
        if (got == 0) {
            if (restarted) break;
            StartNextPass();
            restarted = true;
            continue;
        }
        restarted = false;
    }
    std::fill(values + filled, values + halfValues_, AudioSample{0});
}

IFrameReader* AvSystem::DirectReader() {
    // Asked once per reader: the reader changes at most once a pass.
    if (directOf_.get() != reader_.get()) {
        directOf_ = reader_;
        direct_ = nullptr;
        if (reader_) reader_->QueryInterface(IFrameReader::iid, direct_.OutVoid());
    }
    return direct_.get();
}

void AvSystem::FillHalf(LONG start) {
    // The half is written in place: the reader's frames go into the ring
    // with one copy, and only then are they playable.
    void *part1 = nullptr, *part2 = nullptr;
    LONG bytes1 = 0, bytes2 = 0;
    Check(buffer_->Lock(start, halfBytes_, &part1, &bytes1, &part2, &bytes2));
    auto* values = static_cast<AudioSample*>(part1);
    ReadHalfInto(values);
    written_ += std::uint64_t(halfFrames_);
    Check(buffer_->Unlock(part1, bytes1, part2, bytes2));
    if (writeObserver_) writeObserver_(values, std::size_t(halfValues_));
}
