#include "ui/edit_commands.h"

#include "ui/main_form.h"

TickEdit::TickEdit(MainForm& form, std::uint8_t loop, LONG track, short tick, bool on)
    : QUndoCommand(on ? QStringLiteral("Tick On") : QStringLiteral("Tick Off")),
      form_(form),
      loop_(loop),
      track_(track),
      tick_(tick),
      on_(on) {}

void TickEdit::redo() {
    form_.ApplyTick(loop_, track_, tick_, on_);
}

void TickEdit::undo() {
    form_.ApplyTick(loop_, track_, tick_, !on_);
}

SampleEdit::SampleEdit(MainForm& form, LONG track, State before, State after, const QString& text)
    : QUndoCommand(text),
      form_(form),
      track_(track),
      before_(std::move(before)),
      after_(std::move(after)) {}

void SampleEdit::redo() {
    form_.ApplySample(track_, after_.wav, after_.caption);
}

void SampleEdit::undo() {
    form_.ApplySample(track_, before_.wav, before_.caption);
}

NewSongEdit::NewSongEdit(MainForm& form) : QUndoCommand(QStringLiteral("New")), form_(form) {
    loops_ = form.GetSong()->LoopSlots();
    path_ = form.FilePath();
    selected_ = form.SelectedLoopIndex();
}

void NewSongEdit::redo() {
    form_.ApplyNew();
}

void NewSongEdit::undo() {
    form_.RestoreLoops(loops_, path_, selected_);
}

TrackLayoutEdit::TrackLayoutEdit(MainForm& form, const QString& text, std::function<void()> change)
    : QUndoCommand(text), form_(form), change_(std::move(change)) {}

void TrackLayoutEdit::redo() {
    if (made_) {
        form_.ApplyTracks(after_);
        return;
    }
    before_ = form_.CaptureTracks();
    form_.ChangeTracks(change_);
    after_ = form_.CaptureTracks();
    made_ = true;
}

void TrackLayoutEdit::undo() {
    form_.ApplyTracks(before_);
}
