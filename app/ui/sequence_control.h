// A track row: a button with the name of the track's sample, then one
// check box per tick. A checked box means the sample starts at that tick.
#pragma once

#include <QCheckBox>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "OvraAudio.h"
#include "com/comptr.h"

class SequenceControl : public QWidget {
    Q_OBJECT

  public:
    explicit SequenceControl(QWidget* parent = nullptr);
    ~SequenceControl() override;

    // Boxes, 4 to 128; other values are clamped. A new row has 16.
    LONG NumTicks() const { return numTicks_; }
    void SetNumTicks(LONG n);
    // With share on, more than 32 boxes share the width of 32 (the main
    // window's rows); off, every box is full size.
    void SetShareWidth(bool share);
    // Shades every other beat of n ticks.
    void SetTicksPerBeat(int n);
    // Whether box tickIndex is checked; error 9 for a box that does not exist.
    bool Value(LONG tickIndex) const;
    // Checks or clears a box; raises TickChange when its state changes.
    void SetValue(LONG tickIndex, bool on);
    const std::u16string& Caption() const { return caption_; }
    void SetCaption(const std::u16string& caption);
    // The track's audio; the row keeps it and never reads it.
    const ComPtr<IWav>& Sample() const { return sample_; }
    void SetSample(ComPtr<IWav> wav) { sample_ = std::move(wav); }
    // Left edge of box tickIndex and width of a box, in twips.
    LONG CheckLeft(LONG tickIndex) const;
    LONG CheckWidth() const;

    QPushButton* SampleButton() const { return sampleButton_.get(); }
    // Box i, or null.
    QCheckBox* Check(LONG i) const;
    // Shows a tick's velocity (1 to 127) in its box.
    void SetVelocity(LONG tickIndex, int velocity);
    int Velocity(LONG tickIndex) const;

  signals:
    void SampleButtonClick();
    // The sample button's context menu is asked for, at a screen position.
    void SampleButtonMenu(const QPoint& globalPosition);
    // The box has already changed when this is raised.
    void TickChange(short tickIndex);
    // A drag on a tick that is on changed its velocity to this.
    void VelocityChange(short tickIndex, int velocity);

  private:
    int ticksPerBeat_ = 4;
    bool shareWidth_ = false;
    void PlaceBoxes();
    std::unique_ptr<QPushButton> sampleButton_;
    std::vector<std::unique_ptr<QCheckBox>> checks_;
    LONG numTicks_ = 0;
    std::u16string caption_;
    ComPtr<IWav> sample_;
};
