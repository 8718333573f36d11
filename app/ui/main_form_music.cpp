// Making music in the main window: the tempo, the swing, the loop buttons,
// each track's mix and the arrangement, each an edit of the engine.
#include <QAction>
#include <QKeySequence>

#include "ui/main_form.h"

namespace {

// The controls' places in pixels of the client area: the top line beside
// Play, and a column right of the rows.
constexpr int kTopY = 4, kHeight = 17;
constexpr int kTempoX = 100, kTempoWidth = 98;
constexpr int kSwingX = 204, kSwingWidth = 98;
constexpr int kLoopsX = 308, kLoopPitch = 18;
constexpr int kModeX = 492, kModeWidth = 86;
constexpr int kEditX = 582, kEditWidth = 48;
constexpr int kMuteX = 654, kSoloX = 673, kVolumeX = 692, kVolumeWidth = 52, kPadX = 748;

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
        connect(b, &QToolButton::clicked, this,
                [this, k] { Run([&] { SetSelectedLoopIndex(std::uint8_t(k)); }); });
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
QToolButton* MainForm::PadButton(LONG track) const {
    return track >= 0 && std::size_t(track) < trackControls_.size()
               ? trackControls_[std::size_t(track)].pad.get()
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
        // The track's pad: a press plays it, as its key does.
        c.pad = std::make_unique<QToolButton>(client_);
        c.pad->setObjectName("Pad");
        c.pad->setFocusPolicy(Qt::NoFocus);
        c.pad->setToolTip(QStringLiteral("Play this track (at the velocity beside Play)"));
        c.pad->setGeometry(kPadX, y, kHeight, kHeight);
        c.pad->setVisible(true);
        connect(c.pad.get(), &QToolButton::pressed, this, [this, i] {
            if (velocityBox_) engine_->PlayHit(i, velocityBox_->value());
        });
        trackControls_.push_back(std::move(c));
    }
    // They show the song, without that being an edit.
    const std::vector<std::shared_ptr<Sample>>& samples = GetSong()->SampleSlots();
    for (std::size_t i = 0; i < trackControls_.size(); ++i) {
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
    tempoBox_->setValue(double(GetSong()->Bpm()) / 10000.0);
    swingBox_->setValue(GetSong()->Swing() / 100);
}

void MainForm::UpdateLoopButtons() {
    const auto& loops = GetSong()->LoopSlots();
    for (int k = 0; k < int(loopButtons_.size()); ++k) {
        QToolButton* b = loopButtons_[std::size_t(k)];
        const bool queued = k == engine_->QueuedLoop();
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
    Run([&] { engine_->SetTempo(bpm); });
    ShowSongSettings();
}

void MainForm::SetSwing(int percent) {
    Run([&] { engine_->SetSwing(percent); });
    ShowSongSettings();
}

void MainForm::SetTrackVolume(LONG track, int percent) {
    Run([&] { engine_->SetTrackVolume(track, percent); });
}

void MainForm::SetTrackMute(LONG track, bool on) {
    Run([&] { engine_->SetTrackMute(track, on); });
}

void MainForm::SetTrackSolo(LONG track, bool on) {
    Run([&] { engine_->SetTrackSolo(track, on); });
}

void MainForm::EditArrangement() {
    std::vector<ArrangementStep> steps = GetSong()->Arrangement();
    if (!musicDialogs_->EditArrangement(steps, this)) return;
    Run([&] { engine_->SetArrangement(std::move(steps)); });
}

void MainForm::SetArrangementMode(bool on) {
    Run([&] { engine_->SetArrangementMode(on); });
    ShowTransport();
}
