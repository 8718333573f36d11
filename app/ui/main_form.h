// The main window: the Play button, the track rows, the tick lights and the
// File menu. It owns the current song and the rendered audio of the loop
// shown in the rows, and plays that loop through the shared AvSystem.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms/error_box.h"
#include "forms/filled_square.h"
#include "song/loop_renderer.h"
#include "song/song.h"
#include "sound/event_service.h"
#include "support/file_dialogs.h"
#include "ui/sequence_control.h"

class MainForm : public QMainWindow, public DirectXEvent8, public TickGrid {
    Q_OBJECT

  public:
    MainForm();
    ~MainForm() override;

    // The load handler: the whole start-up, ending with the default song
    // beside the executable open, loop 0 shown and nothing playing.
    void Load();
    // The folder the default song is read from (the executable's own).
    void SetProgramFolder(const std::string& folder) { programFolder_ = folder; }

    // ---- public members --------------------------------------------------
    LONG NumTracks() const { return renderer_.NumTracks; }
    // Rows 0 to n - 1, n clamped to 1 to 64; never fails.
    void SetNumTracks(LONG n);
    // Loads a WAV file onto a track: row and song sample get its audio and
    // the file's name without extension as caption.
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
    void OpenSongFile(const std::string& path);
    void SaveSongFile(const std::string& path);
    void LayoutTickIndicators();
    // The window's key-down handler, with the form's key codes (96 to 105
    // are the keypad digits).
    void KeyDown(int keyCode, int shift);

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
    QAction* RevertCommand() const { return revertCommand_; }
    QAction* SaveCommand() const { return saveCommand_; }
    QAction* SaveAsCommand() const { return saveAsCommand_; }
    QAction* ExitCommand() const { return exitCommand_; }

    // What the dialogs and the error report are (tests script them).
    void SetFileDialogs(std::unique_ptr<FileDialogs> dialogs) { dialogs_ = std::move(dialogs); }
    void SetErrorReporter(ErrorReporter reporter) { reportError_.SetReporter(std::move(reporter)); }

    // ---- event handlers --------------------------------------------------
    void PlayButton_Click();
    void NewCommand_Click();
    void OpenCommand_Click();
    void SaveCommand_Click();
    void SaveAsCommand_Click();
    void ExitCommand_Click();
    void SequenceControl_TickChange(LONG rowIndex, short tickIndex);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void BuildMenu();
    void HideInstallerWindow();
    void PlayOrStop();
    void New();
    void SaveAs();
    void SetCaptionForLoop(std::uint8_t v);
    // Runs a handler's work; an error is reported instead of escaping.
    template <class F>
    void Report(F&& work) {
        try {
            work();
        } catch (const std::exception& e) {
            reportError_(e.what());
        }
    }

    std::shared_ptr<Song> song_;
    LoopRenderer renderer_;  // LoopWav, TickLength, TicksPerLoop, NumTracks, SelectedLoopIndex
    bool isFillingRows_ = false;
    std::string filePath_;
    LONG lastLitTick_ = 0;
    std::string programFolder_;

    QWidget* client_ = nullptr;  // owned by the window
    std::unique_ptr<QPushButton> playButton_;
    std::vector<std::unique_ptr<SequenceControl>> rows_;
    std::vector<std::unique_ptr<FilledSquare>> tickIndicators_;
    std::unique_ptr<FilledSquare> inactiveGreenLed_, activeGreenLed_;
    QMenu* fileMenu_ = nullptr;  // menu and actions are owned by the menu bar
    QAction *newCommand_ = nullptr, *openCommand_ = nullptr, *revertCommand_ = nullptr,
            *saveCommand_ = nullptr, *saveAsCommand_ = nullptr, *exitCommand_ = nullptr;
    std::unique_ptr<FileDialogs> dialogs_;
    ErrorReport reportError_;
};

// The caption of the installer window that start-up hides.
inline const char kInstallerCaption[] = "WinZip Self-Extractor - Trellon.0.0.0.1.exe";
// The song start-up opens, beside the executable.
inline const char kDefaultSongName[] = "DuvoDodiz.loop";
