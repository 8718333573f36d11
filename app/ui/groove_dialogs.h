// The dialogs of grooves: a loop's length and resolution, the song's
// humanize, and a track's settings (name, sample, volume, pan, pitch,
// trim with the waveform, reverse, choke group, MIDI note).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>
#include <string>
#include <vector>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "song/sample.h"
#include "song/sequence_loop.h"
#include "song/song.h"

// What the track dialog edits. chooseSample: the user asked to choose
// another sample (the dialog closed to let them).
struct TrackSettings {
    std::u16string caption;
    int volume = 100;
    TrackSound sound;
    int midiNote = -1;  // -1: the default
    int defaultNote = 36;
    ComPtr<IWav> wav;  // shown, not edited
    bool chooseSample = false;
};

class LoopFormatDialog : public QDialog {
  public:
    LoopFormatDialog(const LoopFormat& format, QWidget* owner);
    LoopFormat Format() const;
    QSpinBox* Ticks() const { return ticks_; }
    QComboBox* Resolution() const { return resolution_; }

  private:
    QSpinBox* ticks_;
    QComboBox* resolution_;
};

class HumanizeDialog : public QDialog {
  public:
    HumanizeDialog(const Humanize& humanize, QWidget* owner);
    Humanize Value() const;
    QSpinBox* Timing() const { return timing_; }
    QSpinBox* Velocity() const { return velocity_; }

  private:
    QSpinBox *timing_, *velocity_;
    std::uint32_t seed_;
};

// The sample's waveform, the frames outside [start, end) greyed.
class TrimView : public QWidget {
  public:
    TrimView(const ComPtr<IWav>& wav, QWidget* parent);
    void SetTrim(long start, long end);
    long Frames() const { return frames_; }
    // The greyed share of the view's width on the left and on the right.
    double GreyLeft() const;
    double GreyRight() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<std::pair<float, float>> columns_;  // min and max per column, -1 to 1
    long frames_ = 0, start_ = 0, end_ = 0;
};

class TrackSettingsDialog : public QDialog {
  public:
    TrackSettingsDialog(const TrackSettings& settings, QWidget* owner);
    TrackSettings Settings() const;
    QLineEdit* Name() const { return name_; }
    QSpinBox* Volume() const { return volume_; }
    QSpinBox* Pan() const { return pan_; }
    QDoubleSpinBox* Pitch() const { return pitch_; }
    QDoubleSpinBox* Start() const { return start_; }
    QDoubleSpinBox* End() const { return end_; }
    QCheckBox* Reverse() const { return reverse_; }
    QSpinBox* Choke() const { return choke_; }
    QSpinBox* Note() const { return note_; }
    TrimView* Trim() const { return trim_; }

  private:
    void ShowTrim();
    TrackSettings settings_;
    LONG rate_ = 44100;
    QLineEdit* name_;
    QSpinBox *volume_, *pan_, *choke_, *note_;
    QDoubleSpinBox *pitch_, *start_, *end_;
    QCheckBox* reverse_;
    TrimView* trim_;
};
