// The main window's controls, its caption, key preview, redrawing from the
// engine, and leaving it.
#include "ui/main_form.h"
#include "session/nsm_client.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextEdit>
#include <cstdio>

#include "forms/key_codes.h"
#include "forms/twips.h"
#include "support/program_name.h"

namespace {
constexpr std::uint32_t kUnlitGreen = RgbColor(0, 64, 0);
constexpr std::uint32_t kLitGreen = RgbColor(0, 255, 0);
// The designed client area, 9855 twips wide, and the mix column right of
// the rows.
constexpr int kClientWidth = 769;
}  // namespace

MainForm::MainForm()
    : engine_(std::make_unique<Engine>()),
      reportError_(kProgramTitle,
                   [this](const std::string& d) { ShowErrorBox(this, kProgramTitle, d); }) {
    setWindowTitle(QStringLiteral(" Trellon"));
    BuildControls();
    BuildMusicControls();
    BuildMenu();
    BuildStatusBar();
    BuildLiveControls();
    BuildSyncMenu();
    BuildGrooveControls();
    dialogs_ = MakeFileDialogs();
    prompts_ = MakePrompts(kProgramTitle);
    musicDialogs_ = MakeMusicDialogs();
    outputChooser_ = MakeOutputChooser();
    midiMapChooser_ = MakeMidiMapChooser();
    connect(&autosaveTimer_, &QTimer::timeout, this, [this] { AutosaveNow(); });
    connect(&workTimer_, &QTimer::timeout, this, [this] { ShowWork(); });
    // While something plays, whether its output is still there.
    connect(&outputTimer_, &QTimer::timeout, this, [this] { engine_->CheckOutput(); });
    outputTimer_.start(500);
    // What the engine's player and workers finish comes to this thread.
    engine_->SetView(this);
    engine_->SetWake([this] {
        QMetaObject::invokeMethod(
            this, [this] { engine_->RunPosted(); }, Qt::QueuedConnection);
    });
    ShowDocument();
    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);
}

MainForm::~MainForm() {
    qApp->removeEventFilter(this);
    // The engine ends first: playback and work stop, and nothing it posts
    // reaches this window later.
    engine_->SetView(nullptr);
    engine_->SetWake(nullptr);
    engine_.reset();
}

void MainForm::BuildControls() {
    client_ = new QWidget(this);  // owned by the window
    client_->setFixedSize(kClientWidth, TwipsToPixels(3900));
    setCentralWidget(client_);

    playButton_ = std::make_unique<QPushButton>(QStringLiteral("Play"), client_);
    playButton_->setObjectName("PlayButton");
    PlaceInTwips(playButton_.get(), 120, 60, 1215, 255);
    connect(playButton_.get(), &QPushButton::clicked, this, [this] { PlayButton_Click(); });

    auto row = std::make_unique<SequenceControl>(client_);
    row->SetShareWidth(true);
    row->setObjectName("SequenceControl0");
    PlaceInTwips(row.get(), 120, 420, 9615, 255);
    WireRow(*row, 0);
    rows_.push_back(std::move(row));
    setTabOrder(rows_[0].get(), playButton_.get());

    auto indicator = std::make_unique<FilledSquare>(kUnlitGreen, client_);
    PlaceInTwips(indicator.get(), 1440, 1260, 255, 255);
    tickIndicators_.push_back(std::move(indicator));
    // The two colour squares are never shown; only their colours are used.
    inactiveGreenLed_ = std::make_unique<FilledSquare>(kUnlitGreen, client_);
    PlaceInTwips(inactiveGreenLed_.get(), 1800, 900, 255, 255);
    inactiveGreenLed_->hide();
    activeGreenLed_ = std::make_unique<FilledSquare>(kLitGreen, client_);
    PlaceInTwips(activeGreenLed_.get(), 1440, 900, 255, 255);
    activeGreenLed_->hide();
}

void MainForm::BuildMenu() {
    fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
    newCommand_ =
        fileMenu_->addAction(QStringLiteral("&New"), this, [this] { NewCommand_Click(); });
    openCommand_ =
        fileMenu_->addAction(QStringLiteral("&Open"), this, [this] { OpenCommand_Click(); });
    revertCommand_ = fileMenu_->addAction(QStringLiteral("&Revert"));
    revertCommand_->setEnabled(false);  // never made available
    saveCommand_ =
        fileMenu_->addAction(QStringLiteral("&Save"), this, [this] { SaveCommand_Click(); });
    saveCommand_->setEnabled(false);  // until a song file has been opened
    saveAsCommand_ = fileMenu_->addAction(QStringLiteral("Save &As..."), this,
                                          [this] { SaveAsCommand_Click(); });
    fileMenu_->addSeparator();
    exitCommand_ =
        fileMenu_->addAction(QStringLiteral("E&xit"), this, [this] { ExitCommand_Click(); });
    // Open Recent follows Open.
    recentMenu_ = new QMenu(QStringLiteral("Open &Recent"), fileMenu_);  // owned by the menu
    fileMenu_->insertMenu(revertCommand_, recentMenu_);
    newCommand_->setShortcut(QKeySequence::New);
    openCommand_->setShortcut(QKeySequence::Open);
    saveCommand_->setShortcut(QKeySequence::Save);
    saveAsCommand_->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    exitCommand_->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));

    editMenu_ = menuBar()->addMenu(QStringLiteral("&Edit"));
    undoCommand_ = editMenu_->addAction(QStringLiteral("&Undo"), this,
                                        [this] { Run([&] { engine_->Undo().Undo(); }); });
    redoCommand_ = editMenu_->addAction(QStringLiteral("&Redo"), this,
                                        [this] { Run([&] { engine_->Undo().Redo(); }); });
    undoCommand_->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    redoCommand_->setShortcuts(
        {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});

    importDrumKitCommand_ = new QAction(QStringLiteral("Import &Drum Kit..."), fileMenu_);
    fileMenu_->insertAction(revertCommand_, importDrumKitCommand_);
    exportCommand_ = new QAction(QStringLiteral("&Export Audio..."), fileMenu_);
    exportCommand_->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    fileMenu_->insertAction(exitCommand_, exportCommand_);
    exportMidiCommand_ = new QAction(QStringLiteral("Export &MIDI..."), fileMenu_);
    fileMenu_->insertAction(exitCommand_, exportMidiCommand_);
    fileMenu_->insertSeparator(exitCommand_);
    importMidiCommand_ = new QAction(QStringLiteral("&Import MIDI into Loop..."), fileMenu_);
    fileMenu_->insertAction(revertCommand_, importMidiCommand_);
    connect(exportCommand_, &QAction::triggered, this, [this] { ExportCommand_Click(); });
    connect(exportMidiCommand_, &QAction::triggered, this, [this] { ExportMidiCommand_Click(); });
    connect(importMidiCommand_, &QAction::triggered, this, [this] { ImportMidiCommand_Click(); });
    connect(importDrumKitCommand_, &QAction::triggered, this,
            [this] { ImportDrumKitCommand_Click(); });
    trackMenu_ = menuBar()->addMenu(QStringLiteral("&Track"));
    addTrackCommand_ =
        trackMenu_->addAction(QStringLiteral("&Add Track"), this, [this] { AddTrack(); });
    addTrackCommand_->setShortcut(QKeySequence(QStringLiteral("Ctrl+T")));
    midiMapCommand_ =
        trackMenu_->addAction(QStringLiteral("&MIDI..."), this, [this] { MidiMapCommand_Click(); });
    audioMenu_ = menuBar()->addMenu(QStringLiteral("&Audio"));
    outputDeviceCommand_ = audioMenu_->addAction(QStringLiteral("&Output Device..."), this,
                                                 [this] { ChooseOutputDevice(); });
    // Sound files dropped on the window become tracks.
    setAcceptDrops(true);
}

void MainForm::BuildStatusBar() {
    // All owned by the status bar.
    documentLabel_ = new QLabel(statusBar());
    modifiedLabel_ = new QLabel(statusBar());
    recoveryLabel_ = new QLabel(statusBar());
    workLabel_ = new QLabel(statusBar());
    workProgress_ = new QProgressBar(statusBar());
    workProgress_->setRange(0, 1000);
    workProgress_->setTextVisible(false);
    workProgress_->setMaximumWidth(120);
    workCancel_ = new QToolButton(statusBar());
    workCancel_->setText(QStringLiteral("Cancel"));
    connect(workCancel_, &QToolButton::clicked, this, [this] { engine_->CancelWork(); });
    statusBar()->addWidget(documentLabel_, 1);
    statusBar()->addPermanentWidget(workLabel_);
    statusBar()->addPermanentWidget(workProgress_);
    statusBar()->addPermanentWidget(workCancel_);
    statusBar()->addPermanentWidget(recoveryLabel_);
    statusBar()->addPermanentWidget(modifiedLabel_);
    statusBar()->setSizeGripEnabled(false);
    workLabel_->hide();
    workProgress_->hide();
    workCancel_->hide();
}

void MainForm::WireRow(SequenceControl& row, LONG index) {
    connect(&row, &SequenceControl::TickChange, this,
            [this, index](short t) { SequenceControl_TickChange(index, t); });
    connect(&row, &SequenceControl::VelocityChange, this, [this, index](short t, int v) {
        Run([&] { engine_->SetVelocity(engine_->SelectedLoop(), index, t, v); });
    });
    connect(&row, &SequenceControl::SampleButtonClick, this,
            [this, index] { ChooseSample(index); });
    connect(&row, &SequenceControl::SampleButtonMenu, this,
            [this, index](const QPoint& at) { SampleButtonMenu(index)->exec(at); });
}

SequenceControl* MainForm::Row(LONG i) const {
    return i >= 0 && i < LONG(rows_.size()) ? rows_[std::size_t(i)].get() : nullptr;
}

FilledSquare* MainForm::TickIndicator(LONG i) const {
    return i >= 0 && i < LONG(tickIndicators_.size()) ? tickIndicators_[std::size_t(i)].get()
                                                      : nullptr;
}

void MainForm::SetCaptionForLoop(std::uint8_t v) {
    setWindowTitle(QStringLiteral("Trellon ") + QString::number(v));
}

void MainForm::Changed(unsigned what) {
    if (what & kChangeTracks) ShowTracks();
    if (what & (kChangeLoop | kChangeTracks)) ShowLoop();
    if (what & kChangeSettings) ShowSongSettings();
    if (what & (kChangeTransport | kChangeLoop)) ShowTransport();
    if (what & (kChangeTransport | kChangeLoop | kChangeSettings)) ShowLevel();
    if (what & kChangeDocument) ShowDocument();
    if (what & kChangeWork) ShowWork();
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != this) return false;
    // A key event climbs from the focused control to its parents; act on it
    // once, where it starts.
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus->window() == this ? watched != focus : watched != this) return false;
    // Digits typed into a number box (tempo, swing, volume) are numbers.
    for (QWidget* w = focus; w && w != this; w = w->parentWidget())
        if (qobject_cast<QAbstractSpinBox*>(w)) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // Text typed into a box is text.
    if (focus && (qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) ||
                  qobject_cast<QPlainTextEdit*>(focus)))
        return false;
    if (LiveKey(*key)) return true;  // played: no control toggles on it
    KeyDown(FormKeyCode(*key), FormShiftState(key->modifiers()));
    return false;  // the focused control gets the key too
}

void MainForm::KeyDown(int keyCode, int /*shift*/) {
    if (keyCode >= kKeyNumpad0 && keyCode <= kKeyNumpad0 + 9)
        Run([&] { SetSelectedLoopIndex(static_cast<std::uint8_t>(keyCode - kKeyNumpad0)); });
}

void MainForm::ExitCommand_Click() {
    close();  // playback stops when the window may close
}

void MainForm::closeEvent(QCloseEvent* event) {
    // A song that would be lost is offered for saving first.
    if (!MaySongBeDiscarded()) {
        event->ignore();
        return;
    }
    StopWork();
    if (engine_->Recovery()) engine_->Recovery()->End();
    event->accept();
}

void MainForm::StopWork() {
    engine_->CancelWork();
    engine_->FinishWork();
    Run([&] { engine_->Stop(); });
    autosaveTimer_.stop();
}

void MainForm::KeepAtExit() {
    SongRecovery* recovery = engine_->Recovery();
    if (ending_ || !recovery) return;
    ending_ = true;
    if (!IsModified()) {
        recovery->End();
        return;
    }
    try {
        engine_->KeepForRecovery();
        std::fprintf(stderr, "Trellon: the display went away; the song is kept for recovery\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Trellon: the modified song could not be kept: %s\n",
                     ErrorText(e).c_str());
    }
    recovery->Leave();
}

void MainForm::EndBySignal() {
    ending_ = true;
    StopWork();
    SongRecovery* recovery = engine_->Recovery();
    if (!recovery) return;
    // Nobody is there to ask about a modified song: it is kept for the
    // next start to offer, as after a crash.
    if (!IsModified()) {
        recovery->End();
        return;
    }
    try {
        engine_->KeepForRecovery();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Trellon: the modified song could not be kept: %s\n",
                     ErrorText(e).c_str());
    }
    recovery->Leave();
}
