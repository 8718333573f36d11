// The main window: the Play button, the track rows, the tick lights and the
// File and Edit menus. It owns the current song and the rendered audio of
// the loop shown in the rows, plays that loop through the shared AvSystem,
// and keeps the song from being lost: every edit goes through an undo
// stack, which also tells whether the song differs from its file, a song
// about to be discarded is offered for saving, and a modified song is kept
// in the recovery folder now and then.
#pragma once

#include <QAction>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "forms/error_box.h"
#include "forms/filled_square.h"
#include "song/loop_renderer.h"
#include "song/song.h"
#include "song/song_recovery.h"
#include "sound/event_service.h"
#include "support/app_error.h"
#include "support/file_dialogs.h"
#include "support/prompts.h"
#include "ui/edit_commands.h"
#include "ui/music_dialogs.h"
#include "ui/output_dialog.h"
#include "ui/sequence_control.h"

class MainForm : public QMainWindow, public DirectXEvent8, public TickGrid {
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

    // ---- public members --------------------------------------------------
    LONG NumTracks() const { return renderer_.NumTracks; }
    // Rows 0 to n - 1, n clamped to 1 to 64; never fails.
    void SetNumTracks(LONG n);
    // Loads a WAV file onto a track: row and song sample get its audio and
    // the file's name without extension as caption. An edit (undoable).
    void LoadSample(LONG trackIndex, const std::string& path);
    const std::shared_ptr<Song>& GetSong() const { return song_; }
    std::uint8_t SelectedLoopIndex() const { return renderer_.SelectedLoopIndex; }
    // Shows loop v in the rows (rendering it when it has no audio yet), queues
    // it while playing, and sets the caption.
    void SetSelectedLoopIndex(std::uint8_t v);
    // Makes song current and shows its loop 0 with its captions and samples.
    void SetSong(std::shared_ptr<Song> song);
    // A playback notification: lights the tick being played, then refills.
    void DXCallback(LONG eventid) override;

    // ---- the rows --------------------------------------------------------
    void ShowLoopInRows(SequenceLoop& loop);
    void TrackToRow(SequenceControl& row, const LoopTrack& track);
    std::shared_ptr<LoopTrack> RowToTrack(const SequenceControl& row) const;
    void StoreRowsInLoop(SequenceLoop& loop);
    // The renderer reads the rows; a box that does not exist is off.
    bool TickOn(int row, int tick) const override;

    // ---- the File menu and the transport ---------------------------------
    // Opens the song file at path as the current song, with its own path.
    void OpenSongFile(const std::string& path);
    void SaveSongFile(const std::string& path);
    void LayoutTickIndicators();
    // The window's key-down handler, with the form's key codes (96 to 105
    // are the keypad digits).
    void KeyDown(int keyCode, int shift);

    // ---- the tracks (each an edit) ----------------------------------------
    // Asks for an audio file (the sample button) and loads it onto track.
    void ChooseSample(LONG track);
    // Loads the audio file at path onto track, through the importer.
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
    // Plays an audio file through the output (the sample dialog's Play).
    void PreviewSample(const std::string& path);

    // ---- tempo, loops, mix, arrangement, export ----------------------------
    // The song's tempo in beats per minute (an edit, 30 to 300); the loop
    // shown is rendered at it and, while playing, takes over at the end of
    // the pass.
    void SetTempo(double bpm);
    // The swing in percent of a tick (an edit, 0 to 50).
    void SetSwing(int percent);
    // A track's volume in percent, mute and solo (each an edit).
    void SetTrackVolume(LONG track, int percent);
    void SetTrackMute(LONG track, bool on);
    void SetTrackSolo(LONG track, bool on);
    // Asks for the arrangement (an edit).
    void EditArrangement();
    // Plays the arrangement, not the loop shown, when Play is pressed.
    void SetArrangementMode(bool on);
    bool ArrangementMode() const { return arrangementMode_->isChecked(); }
    // The loop queued to take over at the end of the pass; -1 for none.
    int QueuedLoop() const { return queuedLoop_; }
    // Asks what to export and where, and writes it on a thread of its own
    // behind a progress dialog; true while that goes on.
    void ExportCommand_Click();
    bool IsExporting() const { return exportThread_.joinable(); }
    // Ends an export the way its Cancel button does.
    void CancelExport() { exportCancel_ = true; }

    // ---- the document ----------------------------------------------------
    // Whether the song differs from what was last opened or saved.
    bool IsModified() const;
    // "Untitled" for a song without a file of its own, else the file's name.
    std::string DocumentName() const;
    // Offers to save a modified song before it is discarded; false when the
    // user cancels or the save does not happen.
    bool MaySongBeDiscarded();
    // Writes the song to the recovery folder when it changed since the last
    // time (what the timer does every minute).
    void AutosaveNow();
    QUndoStack& UndoStack() { return undo_; }
    // The recent files, newest first.
    std::vector<std::string> RecentFiles() const;

    // ---- edits, as the undo stack applies them -----------------------------
    // Sets a tick of a loop, shows that loop and renders it.
    void ApplyTick(std::uint8_t loop, LONG track, short tick, bool on);
    // Gives a track its sample's audio and caption, in the row too.
    void ApplySample(LONG track, const ComPtr<IWav>& wav, const std::u16string& caption);
    // New: the song's loops cleared, no file. Undone by RestoreLoops.
    void ApplyNew();
    // The tracks as they are, and put back as they were; a change made to
    // them, with the rows following.
    TrackLayout CaptureTracks() const;
    void ApplyTracks(const TrackLayout& layout);
    void ChangeTracks(const std::function<void()>& change);
    void RestoreLoops(std::vector<std::shared_ptr<SequenceLoop>> loops, const std::string& path,
                      std::uint8_t selected);

    // ---- state, as the rest of the program and the tests read it ---------
    LONG TicksPerLoop() const { return renderer_.TicksPerLoop; }
    LONG TickLength() const { return renderer_.TickLength; }
    const ComPtr<IWav>& LoopWav() const { return renderer_.LoopWav; }
    bool IsFillingRows() const { return isFillingRows_; }
    const std::string& FilePath() const { return filePath_; }
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
    QMenu* TrackMenu() const { return trackMenu_; }
    QAction* ExportCommand() const { return exportCommand_; }
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
    QAction* AddTrackCommand() const { return addTrackCommand_; }
    QAction* OutputDeviceCommand() const { return outputDeviceCommand_; }
    QAction* ImportDrumKitCommand() const { return importDrumKitCommand_; }
    QAction* RedoCommand() const { return redoCommand_; }
    // The status bar: the song's name, and whether it is modified.
    QLabel* DocumentLabel() const { return documentLabel_; }
    QLabel* ModifiedLabel() const { return modifiedLabel_; }

    // What the dialogs, prompts, settings, recovery folder and the error
    // report are (tests script them; set before Load).
    void SetFileDialogs(std::unique_ptr<FileDialogs> dialogs) { dialogs_ = std::move(dialogs); }
    void SetPrompts(std::unique_ptr<Prompts> prompts) { prompts_ = std::move(prompts); }
    void SetSettings(std::unique_ptr<QSettings> settings) { settings_ = std::move(settings); }
    void SetRecoveryFolder(const std::string& folder);
    void SetMusicDialogs(std::unique_ptr<MusicDialogs> d) { musicDialogs_ = std::move(d); }
    void SetOutputChooser(std::unique_ptr<OutputChooser> c) { outputChooser_ = std::move(c); }
    // The output was named on the command line: it rules for this run, and
    // the remembered one is not applied at Load.
    void SetOutputFromCommandLine(bool given) { outputFromCommandLine_ = given; }
    void SetErrorReporter(ErrorReporter reporter) { reportError_.SetReporter(std::move(reporter)); }

    // ---- event handlers --------------------------------------------------
    void PlayButton_Click();
    void NewCommand_Click();
    void OpenCommand_Click();
    void SaveCommand_Click();
    void SaveAsCommand_Click();
    void ExitCommand_Click();
    // The program is ending without a person to ask (SIGINT, SIGTERM):
    // playback and work stop, and a modified song is kept for recovery.
    void EndBySignal();
    void SequenceControl_TickChange(LONG rowIndex, short tickIndex);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildControls();
    void BuildMenu();
    // Connects a row's events to the window.
    void WireRow(SequenceControl& row, LONG index);
    // The rows, their captions and sounds, and the renderings, after the
    // song's tracks changed.
    void RefreshTracks();
    // Adds an empty track to the song (every loop gets one), for a change.
    LONG AppendTrackToSong();
    // The row under a point of the window; -1 below or beside the rows.
    LONG RowAt(const QPoint& windowPosition) const;
    void BuildMusicControls();
    // An edit of a track's mix: change makes the new mix from the old.
    void EditTrackMix(LONG track, const QString& text, int mergeKey,
                      const std::function<void(TrackMix&)>& change);
    // The mix controls of the rows, made and removed with them, showing the song.
    void SyncTrackControls();
    // The song's values in the tempo and swing boxes, and the loop buttons' states.
    void ShowSongSettings();
    void UpdateLoopButtons();
    // Renders loop k (when it has no rendering) and gives a reader on it.
    ComPtr<IWavReader> ReaderOnLoop(std::uint8_t k);
    // The loop shown, without queueing it (the arrangement shows what plays).
    void ShowLoop(std::uint8_t v);
    // Queues the pass after the one that plays, in arrangement mode.
    void QueueNextArrangementPass();
    // After a notification: a queued reader that took over.
    void FollowQueue();
    // The client area as tall as the rows and the lights need.
    void FitClientArea();
    void FinishExport();
    // Stops an export, playback and the autosave, as the window ends.
    void StopWork();
    // Audio > Output Device: the choice is used from the next Play and kept.
    void ChooseOutputDevice();
    void HideInstallerWindow();
    void PlayOrStop();
    void New();
    // Save and Save As; true when the song was written.
    bool Save();
    bool SaveAs();
    // Makes a song read from a file current; the caller says which path
    // Save writes to ("" for none).
    void ShowOpenedSong(std::shared_ptr<Song> song, const std::string& savePath);
    void SetCaptionForLoop(std::uint8_t v);
    // The song now equals its file at path (or, with "", nothing is owed).
    void MarkSaved(const std::string& path);
    void ChangedOutsideUndo();
    void UpdateDocumentStatus();
    // Where the file dialogs start: the song's folder, else the last used.
    std::string DialogFolder() const;
    void RememberFolderOf(const std::string& path);
    void AddRecentFile(const std::string& path);
    void RebuildRecentMenu();
    void OpenRecent(const std::string& path);
    void OfferRecovery();
    // Runs a handler's work; an error is reported instead of escaping.
    template <class F>
    bool Report(F&& work) {
        try {
            work();
            return true;
        } catch (const std::exception& e) {
            reportError_(ErrorText(e));
            return false;
        }
    }

    std::shared_ptr<Song> song_;
    LoopRenderer renderer_;  // LoopWav, TickLength, TicksPerLoop, NumTracks, SelectedLoopIndex
    bool isFillingRows_ = false;
    std::string filePath_;
    LONG lastLitTick_ = 0;
    std::string programFolder_;
    std::string startupSong_;

    QUndoStack undo_;
    bool changedOutsideUndo_ = false;  // loops made by selecting them, a restored song
    unsigned revision_ = 0;            // counts changes, for the autosave
    unsigned keptRevision_ = 0;        // the revision the recovery folder holds
    std::unique_ptr<SongRecovery> recovery_;
    QTimer autosaveTimer_;

    // Tempo, loops, mix and arrangement; widgets owned by the client area.
    QDoubleSpinBox* tempoBox_ = nullptr;
    QSpinBox* swingBox_ = nullptr;
    std::vector<QToolButton*> loopButtons_;
    QToolButton* arrangementMode_ = nullptr;
    QPushButton* arrangementButton_ = nullptr;
    struct TrackControls {
        std::unique_ptr<QToolButton> mute, solo;
        std::unique_ptr<QSpinBox> volume;
    };
    std::vector<TrackControls> trackControls_;
    int queuedLoop_ = -1;
    bool playingArrangement_ = false;
    // The arrangement pass that plays and the one queued after it.
    std::size_t passPlaying_ = 0, passQueued_ = 0;
    std::vector<std::uint8_t> arrangementPasses_;
    std::unique_ptr<MusicDialogs> musicDialogs_;
    std::unique_ptr<OutputChooser> outputChooser_;
    bool outputFromCommandLine_ = false;
    QMenu* audioMenu_ = nullptr;
    QAction* outputDeviceCommand_ = nullptr;

    // An export under way.
    std::thread exportThread_;
    std::atomic<double> exportDone_{0};
    std::atomic<bool> exportCancel_{false}, exportFinished_{false};
    std::string exportError_, exportPath_;
    std::unique_ptr<QProgressDialog> exportProgress_;
    QTimer exportTimer_;

    QWidget* client_ = nullptr;  // owned by the window
    std::unique_ptr<QPushButton> playButton_;
    std::vector<std::unique_ptr<SequenceControl>> rows_;
    std::vector<std::unique_ptr<FilledSquare>> tickIndicators_;
    std::unique_ptr<FilledSquare> inactiveGreenLed_, activeGreenLed_;
    // Menus, actions and status labels are owned by the menu and status bars.
    QMenu *fileMenu_ = nullptr, *recentMenu_ = nullptr, *editMenu_ = nullptr, *trackMenu_ = nullptr;
    QAction *newCommand_ = nullptr, *openCommand_ = nullptr, *revertCommand_ = nullptr,
            *saveCommand_ = nullptr, *saveAsCommand_ = nullptr, *exitCommand_ = nullptr,
            *undoCommand_ = nullptr, *redoCommand_ = nullptr, *addTrackCommand_ = nullptr,
            *importDrumKitCommand_ = nullptr, *exportCommand_ = nullptr;
    QLabel *documentLabel_ = nullptr, *modifiedLabel_ = nullptr;
    std::unique_ptr<FileDialogs> dialogs_;
    std::unique_ptr<Prompts> prompts_;
    std::unique_ptr<QSettings> settings_;
    ErrorReport reportError_;
};

// The caption of the installer window that start-up hides.
inline const char kInstallerCaption[] = "WinZip Self-Extractor - Trellon.0.0.0.1.exe";
// The song start-up opens, beside the executable.
inline const char kDefaultSongName[] = "DuvoDodiz.loop";
