// The edits a user makes in the main window, as commands of its undo
// stack: each knows how to make its change and how to take it back, and
// applies it through the window, so a change made by undo is shown,
// rendered and heard like any other.
#pragma once

#include <QUndoCommand>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "song/sample.h"
#include "song/sequence_loop.h"

class MainForm;

// A tick of a loop switched on or off.
class TickEdit : public QUndoCommand {
  public:
    TickEdit(MainForm& form, std::uint8_t loop, LONG track, short tick, bool on);
    void redo() override;
    void undo() override;

  private:
    MainForm& form_;
    std::uint8_t loop_;
    LONG track_;
    short tick_;
    bool on_;
};

// A track given other audio and caption (loading a sample).
class SampleEdit : public QUndoCommand {
  public:
    struct State {
        ComPtr<IWav> wav;
        std::u16string caption;
    };
    SampleEdit(MainForm& form, LONG track, State before, State after, const QString& text);
    void redo() override;
    void undo() override;

  private:
    MainForm& form_;
    LONG track_;
    State before_, after_;
};

// New: every loop cleared, the samples kept, no file.
class NewSongEdit : public QUndoCommand {
  public:
    explicit NewSongEdit(MainForm& form);
    void redo() override;
    void undo() override;

  private:
    MainForm& form_;
    std::vector<std::shared_ptr<SequenceLoop>> loops_;  // as they were before
    std::string path_;
    std::uint8_t selected_ = 0;
};

// The song's tracks as a whole: its sample slots and each loop's tracks.
struct TrackLayout {
    std::vector<std::shared_ptr<Sample>> samples;
    // Per loop slot, that loop's tracks; none where there was no loop.
    std::vector<std::shared_ptr<SequenceLoop::TrackList>> loops;
};

// A change of the tracks (adding, removing, a drum kit): made once by its
// change, then taken back and made again from what it left.
class TrackLayoutEdit : public QUndoCommand {
  public:
    TrackLayoutEdit(MainForm& form, const QString& text, std::function<void()> change);
    void redo() override;
    void undo() override;

  private:
    MainForm& form_;
    std::function<void()> change_;
    bool made_ = false;
    TrackLayout before_, after_;
};

// An edit of one value of the song (the tempo, the swing, a track's mix,
// the arrangement), set through apply. Edits with the same merge key in a
// row (a spin box stepped up and up) are one edit.
template <class T>
class ValueEdit : public QUndoCommand {
  public:
    ValueEdit(const QString& text, T before, T after, std::function<void(const T&)> apply,
              int mergeKey = -1)
        : QUndoCommand(text),
          before_(std::move(before)),
          after_(std::move(after)),
          apply_(std::move(apply)),
          mergeKey_(mergeKey) {}
    void redo() override { apply_(after_); }
    void undo() override { apply_(before_); }
    int id() const override { return mergeKey_; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = dynamic_cast<const ValueEdit*>(other);
        if (!next || next->mergeKey_ != mergeKey_) return false;
        after_ = next->after_;
        return true;
    }

  private:
    T before_, after_;
    std::function<void(const T&)> apply_;
    int mergeKey_;
};
