// Grooves in the main window: the Loop menu (length, copy, paste,
// duplicate, clear, humanize), a row's copy, paste and shift and its
// Track Settings, and the master level with the peak meter. Each is an
// edit of the engine.
#include <QMenuBar>
#include <QStatusBar>
#include <cmath>

#include "support/text_format.h"
#include "ui/main_form.h"

void MainForm::BuildGrooveControls() {
    loopMenu_ = new QMenu(QStringLiteral("&Loop"), this);  // owned by the window
    menuBar()->insertMenu(trackMenu_->menuAction(), loopMenu_);
    loopLengthCommand_ =
        loopMenu_->addAction(QStringLiteral("&Length..."), this, [this] { EditLoopFormat(); });
    loopMenu_->addSeparator();
    // The shortcuts act where the focus is on the rows; elsewhere (the
    // tempo box) Ctrl+C and Ctrl+V are the text's.
    auto rowsAction = [this](const char* text, const char* key, std::function<void()> work) {
        QAction* a = loopMenu_->addAction(QString::fromUtf8(text), this,
                                          [this, work] { Run([&] { work(); }); });
        if (key) {
            a->setShortcut(QKeySequence(QString::fromUtf8(key)));
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            rowActions_.push_back(a);
        }
        return a;
    };
    copyLoopCommand_ = rowsAction("&Copy", "Ctrl+C", [this] { engine_->CopyLoop(SelectedLoop()); });
    pasteLoopCommand_ = rowsAction("&Paste", "Ctrl+V", [this] {
        const std::string notice = engine_->PasteLoop(SelectedLoop());
        if (!notice.empty()) reportError_(notice);
    });
    duplicateLoopCommand_ = rowsAction("&Duplicate", "Ctrl+D", [this] {
        const std::uint8_t k = engine_->DuplicateLoop(SelectedLoop());
        statusBar()->showMessage(QStringLiteral("Duplicated into loop %1").arg(k), 4000);
    });
    clearLoopCommand_ =
        rowsAction("C&lear", nullptr, [this] { engine_->ClearLoop(SelectedLoop()); });
    loopMenu_->addSeparator();
    humanizeCommand_ =
        loopMenu_->addAction(QStringLiteral("&Humanize..."), this, [this] { EditHumanize(); });
    for (const auto& row : rows_)
        for (QAction* a : rowActions_) row->addAction(a);

    // The master level and the meter of the last pass, at the status bar's end.
    masterBox_ = new QDoubleSpinBox(statusBar());
    masterBox_->setObjectName("MasterBox");
    masterBox_->setRange(Song::kMinMasterLevel / 100.0, Song::kMaxMasterLevel / 100.0);
    masterBox_->setDecimals(1);
    masterBox_->setSingleStep(0.5);
    masterBox_->setPrefix(QStringLiteral("Master "));
    masterBox_->setSuffix(QStringLiteral(" dB"));
    masterBox_->setKeyboardTracking(false);
    masterBox_->setToolTip(QStringLiteral("The level of the whole mix"));
    connect(masterBox_, &QDoubleSpinBox::valueChanged, this, [this](double db) {
        Run([&] { engine_->SetMasterLevel(int(std::lround(db * 100.0))); });
        ShowLevel();
    });
    meterLabel_ = new QLabel(statusBar());
    meterLabel_->setObjectName("MeterLabel");
    meterLabel_->setMinimumWidth(110);
    statusBar()->addPermanentWidget(masterBox_);
    statusBar()->addPermanentWidget(meterLabel_);
}

std::uint8_t MainForm::SelectedLoop() const {
    return engine_->SelectedLoop();
}

void MainForm::ShowLevel() {
    if (!masterBox_) return;
    {
        const QSignalBlocker block(masterBox_);
        masterBox_->setValue(GetSong()->MasterLevel() / 100.0);
    }
    // The loop heard: the one playing, else the one shown.
    const int playing = engine_->PlayingLoop();
    const Engine::Level level =
        engine_->LoopLevel(std::uint8_t(playing >= 0 ? playing : engine_->SelectedLoop()));
    if (level.clipped > 0) {
        meterLabel_->setText(QStringLiteral("Clip %1").arg(
            QString::fromStdString(Thousands(static_cast<long long>(level.clipped)))));
        meterLabel_->setStyleSheet(QStringLiteral("QLabel { color: white; background: #c02020; }"));
        meterLabel_->setToolTip(
            QStringLiteral("Samples of a pass at full scale: lower the master level"));
    } else {
        meterLabel_->setText(level.peak > 0
                                 ? QStringLiteral("Peak %1 dB")
                                       .arg(20.0 * std::log10(level.peak / 32768.0), 0, 'f', 1)
                                 : QStringLiteral("Peak -inf dB"));
        meterLabel_->setStyleSheet(QString());
        meterLabel_->setToolTip(QStringLiteral("The loudest sample of a pass"));
    }
}

void MainForm::EditLoopFormat() {
    LoopFormat format = engine_->FormatOf(SelectedLoop());
    if (!musicDialogs_->ChooseLoopFormat(format, this)) return;
    Run([&] { engine_->SetLoopFormat(SelectedLoop(), format); });
}

void MainForm::EditHumanize() {
    Humanize h = GetSong()->GetHumanize();
    if (!musicDialogs_->EditHumanize(h, this)) return;
    Run([&] { engine_->SetHumanize(h); });
}

void MainForm::EditTrackSettings(LONG track) {
    const auto sample = GetSong()->SampleAt(track);
    const Engine::MidiMap map = engine_->GetMidiMap();
    TrackSettings s;
    s.caption = sample->Caption();
    s.volume = sample->Mix().volume;
    s.sound = sample->Sound();
    s.midiNote = std::size_t(track) < map.notes.size() ? map.notes[std::size_t(track)] : -1;
    s.defaultNote = DefaultNoteOf(int(track));
    s.wav = sample->Wav();
    if (!musicDialogs_->EditTrack(s, this)) return;
    Run([&] {
        if (s.caption != sample->Caption()) engine_->RenameTrack(track, s.caption);
        engine_->SetTrackVolume(track, s.volume);
        engine_->SetTrackSound(track, s.sound);
        Engine::MidiMap notes = engine_->GetMidiMap();
        if (notes.notes.size() <= std::size_t(track))
            notes.notes.resize(std::size_t(track) + 1, -1);
        notes.notes[std::size_t(track)] = s.midiNote;
        if (!(notes == engine_->GetMidiMap())) engine_->SetMidiMap(notes);
    });
    if (s.chooseSample) ChooseSample(track);
}

void MainForm::AddRowCommands(QMenu& menu, LONG track) {
    menu.addAction(QStringLiteral("&Track Settings..."), this,
                   [this, track] { EditTrackSettings(track); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("&Copy Row"), this,
                   [this, track] { Run([&] { engine_->CopyRow(SelectedLoop(), track); }); });
    menu.addAction(QStringLiteral("&Paste Row"), this,
                   [this, track] {
                       Run([&] {
                           const std::string notice = engine_->PasteRow(SelectedLoop(), track);
                           if (!notice.empty()) reportError_(notice);
                       });
                   })
        ->setEnabled(engine_->HasClip());
    menu.addAction(QStringLiteral("Shift &Left"), this,
                   [this, track] { Run([&] { engine_->ShiftRow(SelectedLoop(), track, -1); }); });
    menu.addAction(QStringLiteral("Shift R&ight"), this,
                   [this, track] { Run([&] { engine_->ShiftRow(SelectedLoop(), track, 1); }); });
}
