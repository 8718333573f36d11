// Playing the main window live: the keys and the velocity they play at,
// and the status bar's account of what came in and what the output met.
#include <QStatusBar>

#include "sound/sound_device.h"
#include "ui/main_form.h"
#include "ui/midi_dialog.h"

namespace {

constexpr int kVelocityX = 636, kVelocityWidth = 66, kTopY = 4, kHeight = 17;
constexpr int kRecordX = 704, kRecordWidth = 40;

// The keys that play tracks 0 to 15: the home row, then the row below it.
constexpr Qt::Key kTrackKeys[] = {Qt::Key_A, Qt::Key_S, Qt::Key_D, Qt::Key_F, Qt::Key_G, Qt::Key_H,
                                  Qt::Key_J, Qt::Key_K, Qt::Key_L, Qt::Key_Z, Qt::Key_X, Qt::Key_C,
                                  Qt::Key_V, Qt::Key_B, Qt::Key_N, Qt::Key_M};

}  // namespace

void MainForm::BuildLiveControls() {
    velocityBox_ = new QSpinBox(client_);  // owned by the client area
    velocityBox_->setObjectName("VelocityBox");
    velocityBox_->setRange(1, 127);
    velocityBox_->setValue(100);
    velocityBox_->setPrefix(QStringLiteral("Vel "));
    velocityBox_->setToolTip(
        QStringLiteral("How hard the keys A to L and Z to M play their tracks (1 to 127)"));
    velocityBox_->setGeometry(kVelocityX, kTopY, kVelocityWidth, kHeight);

    recordButton_ = new QPushButton(QStringLiteral("Rec"), client_);  // owned by the client area
    recordButton_->setObjectName("RecordButton");
    recordButton_->setCheckable(true);
    recordButton_->setFocusPolicy(Qt::NoFocus);
    recordButton_->setToolTip(
        QStringLiteral("Record the hits played (MIDI, keys, pads) into the playing loop (R)"));
    recordButton_->setGeometry(kRecordX, kTopY, kRecordWidth, kHeight);
    connect(recordButton_, &QPushButton::clicked, this, [this] { RecordButton_Click(); });
    audioMenu_->addSeparator();
    recordCommand_ =
        audioMenu_->addAction(QStringLiteral("&Record"), this, [this] { RecordButton_Click(); });
    recordCommand_->setCheckable(true);
    countInCommand_ = audioMenu_->addAction(QStringLiteral("&Count-In"));
    countInCommand_->setCheckable(true);
    countInCommand_->setToolTip(
        QStringLiteral("Recording started while stopped plays one pass before it keeps hits"));
    connect(countInCommand_, &QAction::toggled, this, [this](bool on) {
        engine_->SetCountIn(on);
        if (settings_) settings_->setValue(QStringLiteral("Live/CountIn"), on);
    });

    liveLabel_ = new QLabel(statusBar());  // owned by the status bar
    liveLabel_->setObjectName("LiveLabel");
    statusBar()->addPermanentWidget(liveLabel_);
    connect(&liveTimer_, &QTimer::timeout, this, [this] { ShowLive(); });
    liveTimer_.start(100);
    // Live play needs an output of its own clock (JACK); without one the
    // keys are silent until one is chosen.
    try {
        engine_->StartLive();
    } catch (const std::exception& e) {
        statusBar()->showMessage(QString::fromStdString(ErrorText(e)), 10000);
    }
}

bool MainForm::LiveKey(const QKeyEvent& key) {
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (key.key() == Qt::Key_Space) {
        if (!key.isAutoRepeat()) PlayButton_Click();
        return true;
    }
    if (key.key() == Qt::Key_R) {
        if (!key.isAutoRepeat()) RecordButton_Click();
        return true;
    }
    for (int k = 0; k < 16; ++k) {
        if (key.key() != kTrackKeys[k]) continue;
        if (k >= engine_->NumTracks()) return false;
        if (!key.isAutoRepeat()) engine_->PlayHit(k, velocityBox_->value());
        return true;
    }
    return false;
}

void MainForm::RecordButton_Click() {
    Run([&] { engine_->SetRecording(!engine_->Recording()); });
    ShowRecording();
}

void MainForm::ShowRecording() {
    if (!recordButton_) return;  // not built yet
    const bool on = engine_->Recording();
    if (recordButton_->isChecked() != on) recordButton_->setChecked(on);
    if (recordCommand_->isChecked() != on) recordCommand_->setChecked(on);
}

void MainForm::ShowLive() {
    // Hits played since last time go into the loop.
    if (engine_->Recording()) engine_->RecordPlayedHits();
    ShowRecording();
    ShowSync();
    const OutputStatus output = engine_->LiveOutputStatus();
    QString text;
    if (engine_->Recording())
        text = engine_->CountingIn() ? QStringLiteral("Count-in") : QStringLiteral("Recording");
    const NoteSeen note = engine_->Live()->LastNote();
    if (note.serial != 0) {
        if (!text.isEmpty()) text += QStringLiteral("   ");
        text += QStringLiteral("Note %1 (%2) ch %3 vel %4: ")
                    .arg(note.note)
                    .arg(NoteName(note.note))
                    .arg(note.channel)
                    .arg(note.velocity);
        if (note.track >= 0 && note.track < engine_->NumTracks()) {
            const auto caption =
                engine_->GetSong()->SampleSlots()[std::size_t(note.track)]->Caption();
            text += QStringLiteral("track %1 “%2”")
                        .arg(note.track + 1)
                        .arg(QString::fromStdU16String(caption));
        } else {
            text += QStringLiteral("no track plays it");
        }
    }
    if (output.live) {
        if (!text.isEmpty()) text += QStringLiteral("   ");
        text += output.gone ? QStringLiteral("JACK server gone")
                            : QStringLiteral("JACK %1 frames at %2 Hz, %3 xruns")
                                  .arg(output.period)
                                  .arg(output.rate)
                                  .arg(output.xruns);
    }
    if (liveLabel_->text() != text) liveLabel_->setText(text);
    shownNote_ = note.serial;
}

void MainForm::MidiMapCommand_Click() {
    Engine::MidiMap map = engine_->GetMidiMap();
    std::vector<std::u16string> captions;
    for (const auto& sample : engine_->GetSong()->SampleSlots())
        captions.push_back(sample ? sample->Caption() : std::u16string());
    const std::shared_ptr<LiveVoices> live = engine_->Live();
    if (!midiMapChooser_->ChooseMidiMap(
            map, captions, [live] { return live->LastNote(); }, this))
        return;
    Run([&] { engine_->SetMidiMap(map); });
}
