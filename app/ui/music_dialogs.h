// The main window's dialogs for music: editing the arrangement and choosing
// what to export. Behind one interface, so tests answer them from a script.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <memory>
#include <vector>

#include "song/song.h"
#include "song/song_export.h"
#include "ui/groove_dialogs.h"

class MusicDialogs {
  public:
    virtual ~MusicDialogs() = default;
    // Edits steps; false when the user cancels (steps are then as they were).
    virtual bool EditArrangement(std::vector<ArrangementStep>& steps, QWidget* owner) = 0;
    // Chooses what to export, starting from choice; false when cancelled.
    virtual bool ChooseExport(ExportChoice& choice, bool hasArrangement, QWidget* owner) = 0;
    // A loop's length and resolution; false when cancelled.
    virtual bool ChooseLoopFormat(LoopFormat& format, QWidget* owner) = 0;
    virtual bool EditHumanize(Humanize& humanize, QWidget* owner) = 0;
    // A track's settings; false when cancelled.
    virtual bool EditTrack(TrackSettings& settings, QWidget* owner) = 0;
};

std::unique_ptr<MusicDialogs> MakeMusicDialogs();

// The arrangement editor: one line per step (loop, passes), with buttons to
// add, remove and move steps.
class ArrangementDialog : public QDialog {
  public:
    ArrangementDialog(const std::vector<ArrangementStep>& steps, QWidget* owner);
    std::vector<ArrangementStep> Steps() const;
    QTableWidget* Table() const { return table_; }
    // Adds a step after the current line (at the end without one).
    void AddStep();
    void RemoveStep();
    void MoveStep(int by);

  private:
    void InsertLine(int row, const ArrangementStep& step);
    QTableWidget* table_;
};

// What to export: the loop shown so many passes, or the arrangement so many
// times through; WAV or FLAC, the mix or one file per track. Started with a
// MIDI choice, it is the MIDI export's (no format, no stems).
class ExportDialog : public QDialog {
  public:
    ExportDialog(const ExportChoice& choice, bool hasArrangement, QWidget* owner);
    ExportChoice Choice() const;
    QRadioButton* LoopChoice() const { return loop_; }
    QRadioButton* ArrangementChoice() const { return arrangement_; }
    QSpinBox* Times() const { return times_; }
    QComboBox* Format() const { return format_; }
    QCheckBox* Stems() const { return stems_; }

  private:
    int loopIndex_;
    bool midi_;
    QRadioButton *loop_, *arrangement_;
    QSpinBox* times_;
    QComboBox* format_;
    QCheckBox* stems_;
};
