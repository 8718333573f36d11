// The main window: views over the engine (engine/engine.h). It shows the
// loop the engine has selected in the track rows, the transport (Play,
// the loop buttons, tempo, swing, the arrangement) and the tick lights,
// and turns every click, key and menu command into a call of the engine,
// redrawing from what the engine says changed. No widget holds song data
// that anything reads back: the song is the engine's.
#pragma once

#include <QAction>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "forms/error_box.h"
#include "forms/filled_square.h"
#include "support/app_error.h"
#include "support/file_dialogs.h"
#include "support/prompts.h"
#include "ui/midi_dialog.h"
#include "ui/music_dialogs.h"
#include "ui/output_dialog.h"
#include "ui/sequence_control.h"

class NsmClient;

// Who leads playback: Trellon alone, JACK's transport (followed),
// Trellon leading JACK's transport too, or a MIDI clock (followed).
enum class SyncChoice { kInternal, kFollowJack, kLeadJack, kFollowClock, kLink };

class MainForm : public QMainWindow, private EngineView {
    Q_OBJECT

  public:
    MainForm();
    ~MainForm() override;

    // The load handler: the whole start-up, ending with a song open, loop 0
    // shown and nothing playing. The song is the one given with
    // SetStartupSong, else the default song beside the executable, opened
    // as a template (Save asks where to save it). A song left by a program
    // that ended without saving it is offered for restoring.
    void Load();
    // The folder the default song is read from (the executable's own).
    void SetProgramFolder(const std::string& folder) { programFolder_ = folder; }
    // A song file to start on instead of the default song.
    void SetStartupSong(const std::string& path) { startupSong_ = path; }

    Engine& GetEngine() { return *engine_; }

    // ---- public members --------------------------------------------------
    // The rows shown, 1 to 64.
    LONG NumTracks() const { return LONG(rows_.size()); }
    // Rows 0 to n - 1, n clamped to 1 to 64; never fails.
    void SetNumTracks(LONG n);
    // Loads an audio file onto a track: its sound, and the file's name
    // without extension as caption. An edit (undoable). Throws AppError.
    void LoadSample(LONG trackIndex, const std::string& path);
    const std::shared_ptr<Song>& GetSong() const { return engine_->GetSong(); }
    std::uint8_t SelectedLoopIndex() const { return engine_->SelectedLoop(); }
    // Shows loop v in the rows and, while playing, queues it.
    void SetSelectedLoopIndex(std::uint8_t v);

    // ---- the rows --------------------------------------------------------
    // Shows loop in the rows: its ticks, the tracks' captions and sounds.
    // Throws AppError when the loop has more tracks than there are rows.
    void ShowLoopInRows(const SequenceLoop& loop);
    void TrackToRow(SequenceControl& row, const LoopTrack& track, const LoopFormat& format);

    // ---- the File menu and the transport ---------------------------------
    // Opens the song file at path as the current song. Throws AppError.
    void OpenSongFile(const std::string& path);
    void LayoutTickIndicators();
    // The window's key-down handler, with the form's key codes (96 to 105
    // are the keypad digits).
    void KeyDown(int keyCode, int shift);

    // ---- the tracks (each an edit) ----------------------------------------
    // Asks for an audio file (the sample button) and loads it onto track.
    void ChooseSample(LONG track);
    // Loads the audio file at path onto track, imported on a worker.
    void ReplaceSample(LONG track, const std::string& path);
    // Asks for a new caption for track.
    void RenameTrack(LONG track);
    void AddTrack();
    // One new track per file, each with its sound.
    void AddTracksFromFiles(const std::vector<std::string>& paths);
    void RemoveTrack(LONG track);
    // Asks for a drumkit.xml and loads one track per instrument.
    void ImportDrumKitCommand_Click();
    void ImportDrumKit(const std::string& path);
    // The sample button's context menu of a row: Replace, Rename, Remove.
    std::unique_ptr<QMenu> SampleButtonMenu(LONG track);
    // Grooves: the Loop menu, a row's commands, the master level and meter.
    void BuildGrooveControls();
    void ShowLevel();
    void EditLoopFormat();
    void EditHumanize();
    void AddRowCommands(QMenu& menu, LONG track);
    std::uint8_t SelectedLoop() const;
    // Plays an audio file (the sample dialog's Play).
    void PreviewSample(const std::string& path);

    // ---- tempo, loops, mix, arrangement, export ----------------------------
    void SetTempo(double bpm);
    void SetSwing(int percent);
    void SetTrackVolume(LONG track, int percent);
    void SetTrackMute(LONG track, bool on);
    void SetTrackSolo(LONG track, bool on);
    // Asks for the arrangement (an edit).
    void EditArrangement();
    // Plays the arrangement, not the loop shown, when Play is pressed.
    void SetArrangementMode(bool on);
    bool ArrangementMode() const { return engine_->ArrangementMode(); }
    // The loop queued to take over at the end of the pass; -1 for none.
    int QueuedLoop() const { return engine_->QueuedLoop(); }
    // Asks what to export and where, and exports it on a worker.
    void ExportCommand_Click();
    void ExportMidiCommand_Click();
    // File > Import MIDI: the file's notes into the loop shown.
    void ImportMidiCommand_Click();
    void ImportMidiFile(const std::string& path);
    bool IsExporting() const { return exporting_; }
    // Ends an export the way its Cancel button does.
    void CancelExport() { engine_->CancelWork(); }

    // ---- the document ----------------------------------------------------
    bool IsModified() const { return engine_->IsModified(); }
    std::string DocumentName() const { return engine_->DocumentName(); }
    // Offers to save a modified song before it is discarded; false when the
    // user cancels or the save does not happen.
    bool MaySongBeDiscarded();
    // Keeps the song in the recovery folder when it changed since the last
    // time (what the timer does every minute).
    void AutosaveNow();
    // The recent files, newest first.
    std::vector<std::string> RecentFiles() const;

    // ---- state, as the rest of the program and the tests read it ---------
    LONG TicksPerLoop() const { return engine_->TicksPerLoop(); }
    LONG TickLength() const { return engine_->TickLength(); }
    ComPtr<IWav> LoopWav() const { return engine_->LoopWav(); }
    bool IsFillingRows() const { return isFillingRows_; }
    const std::string& FilePath() const { return engine_->FilePath(); }
    LONG LastLitTick() const { return lastLitTick_; }

    // ---- controls --------------------------------------------------------
    QPushButton* PlayButton() const { return playButton_.get(); }
    SequenceControl* Row(LONG i) const;
    FilledSquare* TickIndicator(LONG i) const;
    LONG NumTickIndicators() const { return LONG(tickIndicators_.size()); }
    FilledSquare* InactiveGreenLed() const { return inactiveGreenLed_.get(); }
    FilledSquare* ActiveGreenLed() const { return activeGreenLed_.get(); }
    QMenu* FileMenu() const { return fileMenu_; }
    QAction* NewCommand() const { return newCommand_; }
    QAction* OpenCommand() const { return openCommand_; }
    QMenu* RecentMenu() const { return recentMenu_; }
    QAction* RevertCommand() const { return revertCommand_; }
    QAction* SaveCommand() const { return saveCommand_; }
    QAction* SaveAsCommand() const { return saveAsCommand_; }
    QAction* ExitCommand() const { return exitCommand_; }
    QMenu* EditMenu() const { return editMenu_; }
    QAction* UndoCommand() const { return undoCommand_; }
    QAction* RedoCommand() const { return redoCommand_; }
    QMenu* TrackMenu() const { return trackMenu_; }
    QMenu* LoopMenu() const { return loopMenu_; }
    QAction* LoopLengthCommand() const { return loopLengthCommand_; }
    QAction* CopyLoopCommand() const { return copyLoopCommand_; }
    QAction* PasteLoopCommand() const { return pasteLoopCommand_; }
    QAction* DuplicateLoopCommand() const { return duplicateLoopCommand_; }
    QAction* ClearLoopCommand() const { return clearLoopCommand_; }
    QAction* HumanizeCommand() const { return humanizeCommand_; }
    QDoubleSpinBox* MasterBox() const { return masterBox_; }
    QLabel* MeterLabel() const { return meterLabel_; }
    // The track's settings dialog, applied as edits.
    void EditTrackSettings(LONG track);
    QAction* ExportCommand() const { return exportCommand_; }
    QAction* ExportMidiCommand() const { return exportMidiCommand_; }
    QAction* ImportMidiCommand() const { return importMidiCommand_; }
    QDoubleSpinBox* TempoBox() const { return tempoBox_; }
    QSpinBox* SwingBox() const { return swingBox_; }
    // Loop button k (0 to 9): checked for the loop shown, "queued" for the
    // loop that takes over, bold for a loop that holds any tick.
    QToolButton* LoopButton(int k) const { return loopButtons_.at(std::size_t(k)); }
    QToolButton* ArrangementModeButton() const { return arrangementMode_; }
    QPushButton* ArrangementButton() const { return arrangementButton_; }
    // A row's mix controls.
    QToolButton* MuteButton(LONG track) const;
    QToolButton* SoloButton(LONG track) const;
    QSpinBox* VolumeBox(LONG track) const;
    // The track's pad: pressed, it plays the track live.
    QToolButton* PadButton(LONG track) const;
    QAction* AddTrackCommand() const { return addTrackCommand_; }
    QAction* MidiMapCommand() const { return midiMapCommand_; }
    QAction* OutputDeviceCommand() const { return outputDeviceCommand_; }
    QAction* ImportDrumKitCommand() const { return importDrumKitCommand_; }
    // The status bar: the song's name, whether it is modified, and long
    // work under way (its title, how far it is, and Cancel).
    QLabel* DocumentLabel() const { return documentLabel_; }
    QLabel* ModifiedLabel() const { return modifiedLabel_; }
    // Says when changes are not being kept for recovery.
    QLabel* RecoveryLabel() const { return recoveryLabel_; }
    QLabel* WorkLabel() const { return workLabel_; }
    QProgressBar* WorkProgress() const { return workProgress_; }
    QToolButton* WorkCancelButton() const { return workCancel_; }
    // Live play: the velocity of hits played from the keys and pads, and
    // what the output and MIDI input met (the last note, which track it
    // played, the JACK server's period and xruns).
    QSpinBox* VelocityBox() const { return velocityBox_; }
    QLabel* LiveLabel() const { return liveLabel_; }
    // Record (the button and Audio > Record) and Audio > Count-In.
    QPushButton* RecordButton() const { return recordButton_; }
    QAction* RecordCommand() const { return recordCommand_; }
    QAction* CountInCommand() const { return countInCommand_; }
    // The sync chosen (kept in the settings when keep; the command line's
    // choice is for one run).
    void SetSync(SyncChoice choice, bool keep);
    void SetSyncFromCommandLine(SyncChoice choice) {
        syncFromCommandLine_ = true;
        SetSync(choice, false);
    }
    SyncChoice Sync() const { return sync_; }
    QMenu* SyncMenu() const { return syncMenu_; }
    QLabel* SyncLabel() const { return syncLabel_; }
    // Shows what live play met since last time (a timer calls it).
    void ShowLive();

    // What the dialogs, prompts, settings, recovery folder and the error
    // report are (tests script them; set before Load).
    void SetFileDialogs(std::unique_ptr<FileDialogs> dialogs) { dialogs_ = std::move(dialogs); }
    void SetPrompts(std::unique_ptr<Prompts> prompts) { prompts_ = std::move(prompts); }
    void SetSettings(std::unique_ptr<QSettings> settings) { settings_ = std::move(settings); }
    void SetRecoveryFolder(const std::string& folder);
    void SetMusicDialogs(std::unique_ptr<MusicDialogs> d) { musicDialogs_ = std::move(d); }
    void SetOutputChooser(std::unique_ptr<OutputChooser> c) { outputChooser_ = std::move(c); }
    void SetMidiMapChooser(std::unique_ptr<MidiMapChooser> c) { midiMapChooser_ = std::move(c); }
    // The output was named on the command line: it rules for this run, and
    // the remembered one is not applied at Load.
    void SetOutputFromCommandLine(bool given) { outputFromCommandLine_ = given; }
    void SetErrorReporter(ErrorReporter reporter) { reportError_.SetReporter(std::move(reporter)); }

    // ---- event handlers --------------------------------------------------
    void PlayButton_Click();
    void MidiMapCommand_Click();
    void RecordButton_Click();
    void NewCommand_Click();
    void OpenCommand_Click();
    void SaveCommand_Click();
    void SaveAsCommand_Click();
    void ExitCommand_Click();
    // The program is ending without a person to ask (SIGINT, SIGTERM):
    // playback and work stop, and a modified song is kept for recovery.
    void EndBySignal();
    // The process is ending under the window (the display went away): a
    // modified song is kept for recovery; nothing else is touched.
    void KeepAtExit();
    void SequenceControl_TickChange(LONG rowIndex, short tickIndex);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // EngineView: redraws what changed.
    void Changed(unsigned what) override;
    void TickLit(LONG tick) override;
    void Report(const std::string& error) override { reportError_(error); }

    void BuildControls();
    void BuildMenu();
    void BuildMusicControls();
    void BuildLiveControls();
    // Audio > Sync; its choices as kept in the settings.
    void BuildSyncMenu();
    void LoadSyncSettings();
    void ShowSync();
    static QString SyncName(SyncChoice choice);
    // The bundled song as a template: shown and played, saved where asked.
    std::string DefaultSongPath() const;
    void ShowDefaultSong();
    // Joins the session manager's session the environment names, if any.
    void StartSession();
    // The session's open and save: "" when done, else why not.
    std::string OpenSessionSong(const std::string& path);
    std::string SaveSessionSong();
    // Space plays and stops; the keys of the two lower letter rows play
    // tracks 0 to 15. True when the key was taken.
    bool LiveKey(const QKeyEvent& key);
    // The Record button and command as the engine has it.
    void ShowRecording();
    void BuildStatusBar();
    // Connects a row's events to the window.
    void WireRow(SequenceControl& row, LONG index);
    // The rows as many as the song's tracks, with their captions, sounds
    // and mix controls, and the lights under them.
    void ShowTracks();
    // The loop shown, in the rows, the caption and the loop buttons.
    void ShowLoop();
    // The song's values in the tempo and swing boxes.
    void ShowSongSettings();
    void ShowTransport();
    void ShowDocument();
    void ShowWork();
    // The mix controls of the rows, made and removed with them.
    void SyncTrackControls();
    void UpdateLoopButtons();
    // The client area as tall as the rows and the lights need.
    void FitClientArea();
    // Stops work and playback, as the window ends.
    void StopWork();
    // Audio > Output Device: the choice is used from the next Play and kept.
    void ChooseOutputDevice();
    void HideInstallerWindow();
    // Save and Save As; true when the song was written.
    bool Save();
    bool SaveAs();
    // Writes the song to path on a worker and waits for it, the window
    // going on meanwhile; true when it was written.
    bool SaveTo(const std::string& path);
    // Runs the window until the engine's work under way has ended.
    void WaitForWork();
    void SetCaptionForLoop(std::uint8_t v);
    // Where the file dialogs start: the song's folder, else the last used.
    std::string DialogFolder() const;
    // Asks what to export, starting from format, and starts the export.
    void Export(ExportChoice::Format format);
    void RememberFolderOf(const std::string& path);
    void AddRecentFile(const std::string& path);
    void ForgetRecentFile(const std::string& path);
    void RebuildRecentMenu();
    void OpenRecent(const std::string& path);
    // Opens path on a worker; the song shows when it has been read.
    void OpenInBackground(const std::string& path);
    // False when the song is open in another Trellon and the user would
    // rather not open it here too.
    bool MayOpen(const std::string& path);
    void OfferRecovery();
    // Runs a handler's work; an error is reported instead of escaping.
    template <class F>
    bool Run(F&& work) {
        try {
            work();
            return true;
        } catch (const std::exception& e) {
            reportError_(ErrorText(e));
            return false;
        }
    }

    std::unique_ptr<Engine> engine_;
    bool isFillingRows_ = false;
    bool ending_ = false;        // a signal ends the program
    bool shownLoopFits_ = true;  // the loop shown has no more tracks than rows
    LONG lastLitTick_ = 0;
    std::string programFolder_;
    std::string startupSong_;
    QTimer autosaveTimer_;
    QTimer workTimer_;    // shows long work's progress
    QTimer outputTimer_;  // looks whether the output went away
    QTimer liveTimer_;    // shows what live play met
    QSpinBox* velocityBox_ = nullptr;
    QMenu* loopMenu_ = nullptr;
    QAction *loopLengthCommand_ = nullptr, *copyLoopCommand_ = nullptr,
            *pasteLoopCommand_ = nullptr, *duplicateLoopCommand_ = nullptr,
            *clearLoopCommand_ = nullptr, *humanizeCommand_ = nullptr;
    std::vector<QAction*> rowActions_;  // their shortcuts act on the rows
    QDoubleSpinBox* masterBox_ = nullptr;
    QLabel* meterLabel_ = nullptr;
    QLabel* liveLabel_ = nullptr;
    QPushButton* recordButton_ = nullptr;
    QAction* recordCommand_ = nullptr;
    QAction* countInCommand_ = nullptr;
    QMenu* syncMenu_ = nullptr;
    QAction* sendClockCommand_ = nullptr;
    QAction* internalSyncCommand_ = nullptr;
    QAction* followTransportCommand_ = nullptr;
    QAction* followClockCommand_ = nullptr;
    QAction* linkCommand_ = nullptr;
    QAction* linkStartStopCommand_ = nullptr;
    QAction* leadTransportCommand_ = nullptr;
    QLabel* syncLabel_ = nullptr;
    SyncChoice sync_ = SyncChoice::kInternal;
    bool syncFromCommandLine_ = false;
    unsigned shownNote_ = 0;  // the serial of the last note shown
    bool exporting_ = false;

    // Tempo, loops, mix and arrangement; widgets owned by the client area.
    QDoubleSpinBox* tempoBox_ = nullptr;
    QSpinBox* swingBox_ = nullptr;
    std::vector<QToolButton*> loopButtons_;
    QToolButton* arrangementMode_ = nullptr;
    QPushButton* arrangementButton_ = nullptr;
    struct TrackControls {
        std::unique_ptr<QToolButton> mute, solo, pad;
        std::unique_ptr<QSpinBox> volume;
    };
    std::vector<TrackControls> trackControls_;
    std::unique_ptr<MusicDialogs> musicDialogs_;
    std::unique_ptr<OutputChooser> outputChooser_;
    std::unique_ptr<MidiMapChooser> midiMapChooser_;
    QAction* midiMapCommand_ = nullptr;
    bool outputFromCommandLine_ = false;
    QMenu* audioMenu_ = nullptr;
    QAction* outputDeviceCommand_ = nullptr;

    QWidget* client_ = nullptr;  // owned by the window
    std::unique_ptr<QPushButton> playButton_;
    std::vector<std::unique_ptr<SequenceControl>> rows_;
    std::vector<std::unique_ptr<FilledSquare>> tickIndicators_;
    std::unique_ptr<FilledSquare> inactiveGreenLed_, activeGreenLed_;
    // Menus, actions and status widgets are owned by the menu and status bars.
    QMenu *fileMenu_ = nullptr, *recentMenu_ = nullptr, *editMenu_ = nullptr, *trackMenu_ = nullptr;
    QAction *newCommand_ = nullptr, *openCommand_ = nullptr, *revertCommand_ = nullptr,
            *saveCommand_ = nullptr, *saveAsCommand_ = nullptr, *exitCommand_ = nullptr,
            *undoCommand_ = nullptr, *redoCommand_ = nullptr, *addTrackCommand_ = nullptr,
            *importDrumKitCommand_ = nullptr, *exportCommand_ = nullptr,
            *exportMidiCommand_ = nullptr, *importMidiCommand_ = nullptr;
    QLabel *documentLabel_ = nullptr, *modifiedLabel_ = nullptr, *workLabel_ = nullptr,
           *recoveryLabel_ = nullptr;
    std::string recoveryUnusable_;  // why the recovery folder cannot be used
    QProgressBar* workProgress_ = nullptr;
    QToolButton* workCancel_ = nullptr;
    std::unique_ptr<FileDialogs> dialogs_;
    std::unique_ptr<Prompts> prompts_;
    std::unique_ptr<QSettings> settings_;
    std::unique_ptr<NsmClient> session_;
    ErrorReport reportError_;
};

// The caption of the installer window that start-up hides.
inline const char kInstallerCaption[] = "WinZip Self-Extractor - Trellon.0.0.0.1.exe";
// The song start-up opens, beside the executable.
inline const char kDefaultSongName[] = "DuvoDodiz.loop";
