// Track > MIDI: which note plays each track (its number and name, 36
// "C1"), a Learn button that takes the next note received, and the
// channel listened to. The dialog is modal; MidiMapChooser opens it, so
// that tests can answer it from a script instead.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"

// "C1" for note 36, "C#1" for 37, "C-2" for 0.
QString NoteName(int note);

class MidiMapChooser {
  public:
    virtual ~MidiMapChooser() = default;
    // Edits map for tracks named captions; lastNote gives the last note
    // received (for Learn). False when the user cancels.
    virtual bool ChooseMidiMap(Engine::MidiMap& map, const std::vector<std::u16string>& captions,
                               std::function<NoteSeen()> lastNote, QWidget* owner) = 0;
};
std::unique_ptr<MidiMapChooser> MakeMidiMapChooser();

class MidiMapDialog : public QDialog {
  public:
    MidiMapDialog(const Engine::MidiMap& map, const std::vector<std::u16string>& captions,
                  std::function<NoteSeen()> lastNote, QWidget* owner);
    Engine::MidiMap Choice() const;
    QSpinBox* NoteBox(int track) const { return notes_.at(std::size_t(track)); }
    QPushButton* LearnButton(int track) const { return learn_.at(std::size_t(track)); }
    QComboBox* Channel() const { return channel_; }
    // Looks whether a note came for the track that is learning.
    void Poll();

  private:
    std::vector<QSpinBox*> notes_;
    std::vector<QPushButton*> learn_;
    QComboBox* channel_;
    std::function<NoteSeen()> lastNote_;
    unsigned learnFrom_ = 0;  // the serial of the last note before Learn
    QTimer timer_;
};
