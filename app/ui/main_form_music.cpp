// Making music in the main window: the tempo, the swing, the loop buttons,
// each track's mix, and playing the arrangement pass by pass through the
// output's queue.
#include <QAction>
#include <QKeySequence>
#include <cmath>

#include "output/av_module.h"
#include "song/loop_renderer.h"
#include "song/song_export.h"
#include "support/app_error.h"
#include "support/integers.h"
#include "ui/main_form.h"

namespace {

// Merge keys: a spin box stepped again and again is one edit.
constexpr int kMergeTempo = 1, kMergeSwing = 2, kMergeVolume = 1000;

// The controls' places in pixels of the client area: the top line beside
// Play, and a column right of the rows.
constexpr int kTopY = 4, kHeight = 17;
constexpr int kTempoX = 100, kTempoWidth = 98;
constexpr int kSwingX = 204, kSwingWidth = 98;
constexpr int kLoopsX = 308, kLoopPitch = 18;
constexpr int kModeX = 492, kModeWidth = 86;
constexpr int kEditX = 582, kEditWidth = 48;
constexpr int kMuteX = 654, kSoloX = 673, kVolumeX = 692, kVolumeWidth = 52;

bool HoldsATick(const std::shared_ptr<SequenceLoop>& loop) {
    if (!loop) return false;
    for (const auto& t : loop->Tracks())
        for (std::uint8_t b : t->TickBytes())
            if (b) return true;
    return false;
}

}  // namespace

void MainForm::BuildMusicControls() {
    tempoBox_ = new QDoubleSpinBox(client_);  // owned by the client area
    tempoBox_->setObjectName("TempoBox");
    tempoBox_->setRange(30.0, 300.0);
    tempoBox_->setDecimals(1);
    tempoBox_->setSingleStep(0.1);
    tempoBox_->setSuffix(QStringLiteral(" bpm"));
    tempoBox_->setKeyboardTracking(false);
    tempoBox_->setToolTip(QStringLiteral("Tempo in beats per minute"));
    tempoBox_->setGeometry(kTempoX, kTopY, kTempoWidth, kHeight);
    connect(tempoBox_, &QDoubleSpinBox::valueChanged, this, [this](double v) { SetTempo(v); });

    swingBox_ = new QSpinBox(client_);
    swingBox_->setObjectName("SwingBox");
    swingBox_->setRange(0, Song::kMaxSwing / 100);
    swingBox_->setPrefix(QStringLiteral("Swing "));
    swingBox_->setSuffix(QStringLiteral(" %"));
    swingBox_->setKeyboardTracking(false);
    swingBox_->setToolTip(QStringLiteral("How late every second tick comes, in percent of a tick"));
    swingBox_->setGeometry(kSwingX, kTopY, kSwingWidth, kHeight);
    connect(swingBox_, &QSpinBox::valueChanged, this, [this](int v) { SetSwing(v); });

    for (int k = 0; k < 10; ++k) {
        auto* b = new QToolButton(client_);
        b->setObjectName(QStringLiteral("LoopButton%1").arg(k));
        b->setText(QString::number(k));
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(kLoopsX + k * kLoopPitch, kTopY, kHeight, kHeight);
        connect(b, &QToolButton::clicked, this, [this, k] {
            SetArrangementMode(false);
            Report([&] { SetSelectedLoopIndex(std::uint8_t(k)); });
        });
        loopButtons_.push_back(b);
        // Ctrl+0 to Ctrl+9, for keyboards without a keypad.
        auto* key = new QAction(this);  // owned by the window
        key->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + k)));
        connect(key, &QAction::triggered, b, &QToolButton::click);
        addAction(key);
    }
    arrangementMode_ = new QToolButton(client_);
    arrangementMode_->setObjectName("ArrangementMode");
    arrangementMode_->setText(QStringLiteral("Arrangement"));
    arrangementMode_->setCheckable(true);
    arrangementMode_->setToolTip(QStringLiteral("Play plays the arrangement"));
    arrangementMode_->setGeometry(kModeX, kTopY, kModeWidth, kHeight);
    connect(arrangementMode_, &QToolButton::toggled, this,
            [this](bool on) { SetArrangementMode(on); });
    arrangementButton_ = new QPushButton(QStringLiteral("Edit..."), client_);
    arrangementButton_->setToolTip(QStringLiteral("Edit the arrangement"));
    arrangementButton_->setGeometry(kEditX, kTopY, kEditWidth, kHeight);
    connect(arrangementButton_, &QPushButton::clicked, this, [this] { EditArrangement(); });
}

QToolButton* MainForm::MuteButton(LONG track) const {
    return track >= 0 && std::size_t(track) < trackControls_.size()
               ? trackControls_[std::size_t(track)].mute.get()
               : nullptr;
}
QToolButton* MainForm::SoloButton(LONG track) const {
    return track >= 0 && std::size_t(track) < trackControls_.size()
               ? trackControls_[std::size_t(track)].solo.get()
               : nullptr;
}
QSpinBox* MainForm::VolumeBox(LONG track) const {
    return track >= 0 && std::size_t(track) < trackControls_.size()
               ? trackControls_[std::size_t(track)].volume.get()
               : nullptr;
}

void MainForm::SyncTrackControls() {
    while (trackControls_.size() > rows_.size()) trackControls_.pop_back();
    while (trackControls_.size() < rows_.size()) {
        const LONG i = LONG(trackControls_.size());
        const int y = rows_[std::size_t(i)]->y();
        TrackControls c;
        auto toggle = [&](const char* text, int x, const char* tip) {
            auto b = std::make_unique<QToolButton>(client_);
            b->setText(QString::fromUtf8(text));
            b->setCheckable(true);
            b->setFocusPolicy(Qt::NoFocus);
            b->setToolTip(QString::fromUtf8(tip));
            b->setGeometry(x, y, kHeight, kHeight);
            b->setVisible(true);
            return b;
        };
        c.mute = toggle("M", kMuteX, "Mute this track");
        c.solo = toggle("S", kSoloX, "Hear only the soloed tracks");
        c.volume = std::make_unique<QSpinBox>(client_);
        c.volume->setRange(0, TrackMix::kMaxVolume);
        c.volume->setSuffix(QStringLiteral(" %"));
        c.volume->setKeyboardTracking(false);
        c.volume->setToolTip(QStringLiteral("Volume of this track"));
        // The whole width for "100 %": the wheel and the arrow keys step it.
        c.volume->setButtonSymbols(QAbstractSpinBox::NoButtons);
        c.volume->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        c.volume->setGeometry(kVolumeX, y, kVolumeWidth, kHeight);
        c.volume->setVisible(true);
        connect(c.mute.get(), &QToolButton::toggled, this,
                [this, i](bool on) { SetTrackMute(i, on); });
        connect(c.solo.get(), &QToolButton::toggled, this,
                [this, i](bool on) { SetTrackSolo(i, on); });
        connect(c.volume.get(), &QSpinBox::valueChanged, this,
                [this, i](int v) { SetTrackVolume(i, v); });
        trackControls_.push_back(std::move(c));
    }
    // They show the song, without that being an edit.
    for (std::size_t i = 0; i < trackControls_.size(); ++i) {
        const std::vector<std::shared_ptr<Sample>>& samples = song_->SampleSlots();
        const TrackMix mix = i < samples.size() && samples[i] ? samples[i]->Mix() : TrackMix{};
        TrackControls& c = trackControls_[i];
        const QSignalBlocker a(c.mute.get()), b(c.solo.get()), d(c.volume.get());
        c.mute->setChecked(mix.mute);
        c.solo->setChecked(mix.solo);
        c.volume->setValue(mix.volume);
    }
}

void MainForm::ShowSongSettings() {
    const QSignalBlocker a(tempoBox_), b(swingBox_);
    tempoBox_->setValue(double(song_->Bpm()) / 10000.0);
    swingBox_->setValue(song_->Swing() / 100);
    SyncTrackControls();
    UpdateLoopButtons();
}

void MainForm::UpdateLoopButtons() {
    const auto& loops = song_->LoopSlots();
    for (int k = 0; k < int(loopButtons_.size()); ++k) {
        QToolButton* b = loopButtons_[std::size_t(k)];
        const bool queued = k == queuedLoop_;
        b->setChecked(k == SelectedLoopIndex());
        QFont font = b->font();
        font.setBold(std::size_t(k) < loops.size() && HoldsATick(loops[std::size_t(k)]));
        b->setFont(font);
        if (b->property("queued").toBool() != queued) {
            b->setProperty("queued", queued);
            // Queued: waiting for the end of the pass, in amber.
            b->setStyleSheet(queued ? QStringLiteral("QToolButton { background: #f0a030; }")
                                    : QString());
        }
    }
}

void MainForm::SetTempo(double bpm) {
    const std::int64_t value =
        std::llround(std::clamp(bpm, 30.0, 300.0) * 10.0) * 1000;  // steps of 0.1
    if (value == song_->Bpm()) return;
    undo_.push(new ValueEdit<std::int64_t>(
        QStringLiteral("Tempo"), song_->Bpm(), value,
        [this](const std::int64_t& v) {
            Report([&] {
                song_->SetBpm(v);
                // Every loop's length follows the tempo: each is made again
                // when it next plays. The one shown takes over at the end
                // of the pass, as a loop switch does.
                for (const auto& loop : song_->LoopSlots())
                    if (loop) loop->SetWav(nullptr);
                renderer_.PrepareLoopWav(*song_);
                renderer_.RenderSelectedLoop(*song_, *this);
                AvSystem& av = GetAvSystem();
                if (playingArrangement_) {
                    QueueNextArrangementPass();
                } else if (av.IsPlaying()) {
                    av.Enqueue(ReaderOnLoop(SelectedLoopIndex()).get());
                    queuedLoop_ = SelectedLoopIndex();
                }
            });
            ShowSongSettings();
        },
        kMergeTempo));
}

void MainForm::SetSwing(int percent) {
    const std::uint16_t value = std::uint16_t(std::clamp(percent, 0, Song::kMaxSwing / 100) * 100);
    if (value == song_->Swing()) return;
    undo_.push(new ValueEdit<std::uint16_t>(
        QStringLiteral("Swing"), song_->Swing(), value,
        [this](const std::uint16_t& v) {
            song_->SetSwing(v);
            ChangeTracks([] {});  // heard at once; other loops when they play
            ShowSongSettings();
        },
        kMergeSwing));
}

void MainForm::SetTrackVolume(LONG track, int percent) {
    EditTrackMix(track, QStringLiteral("Volume"), kMergeVolume + int(track), [&](TrackMix& m) {
        m.volume = std::uint16_t(std::clamp(percent, 0, int(TrackMix::kMaxVolume)));
    });
}

void MainForm::SetTrackMute(LONG track, bool on) {
    EditTrackMix(track, on ? QStringLiteral("Mute") : QStringLiteral("Unmute"), -1,
                 [&](TrackMix& m) { m.mute = on; });
}

void MainForm::SetTrackSolo(LONG track, bool on) {
    EditTrackMix(track, on ? QStringLiteral("Solo") : QStringLiteral("Unsolo"), -1,
                 [&](TrackMix& m) { m.solo = on; });
}

void MainForm::EditTrackMix(LONG track, const QString& text, int mergeKey,
                            const std::function<void(TrackMix&)>& change) {
    const TrackMix before = song_->SampleAt(track)->Mix();
    TrackMix after = before;
    change(after);
    if (after == before) return;
    undo_.push(new ValueEdit<TrackMix>(
        text, before, after,
        [this, track](const TrackMix& m) {
            song_->SampleAt(track)->SetMix(m);
            ChangeTracks([] {});  // heard at once; other loops when they play
            SyncTrackControls();
        },
        mergeKey));
}

void MainForm::EditArrangement() {
    std::vector<ArrangementStep> steps = song_->Arrangement();
    if (!musicDialogs_->EditArrangement(steps, this) || steps == song_->Arrangement()) return;
    undo_.push(new ValueEdit<std::vector<ArrangementStep>>(
        QStringLiteral("Arrangement"), song_->Arrangement(), steps,
        [this](const std::vector<ArrangementStep>& s) {
            song_->SetArrangement(s);
            // A running arrangement goes on with the new one from its start.
            if (playingArrangement_) {
                arrangementPasses_ = ExportPasses(*song_, {.arrangement = true});
                passPlaying_ = arrangementPasses_.empty() ? 0 : arrangementPasses_.size() - 1;
                Report([&] { QueueNextArrangementPass(); });
            }
        }));
}

void MainForm::SetArrangementMode(bool on) {
    if (arrangementMode_->isChecked() != on) {
        const QSignalBlocker block(arrangementMode_);
        arrangementMode_->setChecked(on);
    }
    AvSystem& av = GetAvSystem();
    if (!on && playingArrangement_) {
        // The loop that plays goes on by itself.
        playingArrangement_ = false;
        av.Enqueue(nullptr);
        queuedLoop_ = -1;
    } else if (on && !playingArrangement_ && av.IsPlaying()) {
        // The arrangement starts at the end of this pass.
        arrangementPasses_ = ExportPasses(*song_, {.arrangement = true});
        if (!arrangementPasses_.empty()) {
            playingArrangement_ = true;
            passPlaying_ = arrangementPasses_.size() - 1;
            Report([&] { QueueNextArrangementPass(); });
        }
    }
    UpdateLoopButtons();
}

ComPtr<IWavReader> MainForm::ReaderOnLoop(std::uint8_t k) {
    ComPtr<IWav> wav = k == SelectedLoopIndex() ? LoopWav() : song_->Sequence(k)->Wav();
    if (!wav) {
        // Rendered from the loop's own tracks, as selecting it would.
        LoopRenderer r;
        r.TicksPerLoop = TicksPerLoop();
        r.NumTracks = NumTracks();
        r.SelectedLoopIndex = k;
        r.PrepareLoopWav(*song_);
        r.RenderSelectedLoop(*song_, LoopGrid(*song_->Sequence(k)));
        wav = r.LoopWav;
    }
    ComPtr<IWavReader> reader;
    Check(wav->OpenReader(reader.Out()));
    return reader;
}

void MainForm::QueueNextArrangementPass() {
    if (arrangementPasses_.empty()) return;
    passQueued_ = (passPlaying_ + 1) % arrangementPasses_.size();
    const std::uint8_t k = arrangementPasses_[passQueued_];
    GetAvSystem().Enqueue(ReaderOnLoop(k).get());
    queuedLoop_ = k;
}

void MainForm::FollowQueue() {
    AvSystem& av = GetAvSystem();
    if (queuedLoop_ < 0 || av.HasQueued() || !av.IsPlaying()) return;
    // The queued reader took over at the end of the pass.
    if (playingArrangement_) {
        passPlaying_ = passQueued_;
        ShowLoop(arrangementPasses_[passPlaying_]);
        QueueNextArrangementPass();
    } else {
        queuedLoop_ = -1;
    }
    UpdateLoopButtons();
}
