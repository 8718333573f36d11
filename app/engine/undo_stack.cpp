#include "engine/undo_stack.h"

void UndoStack::Push(std::unique_ptr<Command> command) {
    command->Redo();
    if (clean_ > long(index_)) clean_ = -1;  // the clean state is undone past and dropped
    commands_.resize(index_);
    // A run of the same edit (a spin box stepped again and again) is one
    // edit, but never across the clean state.
    Command* last = index_ > 0 ? commands_[index_ - 1].get() : nullptr;
    if (last && command->MergeKey() != -1 && command->MergeKey() == last->MergeKey() &&
        clean_ != long(index_) && last->MergeWith(*command)) {
        Changed();
        return;
    }
    commands_.push_back(std::move(command));
    ++index_;
    Changed();
}

std::string UndoStack::UndoText() const {
    return CanUndo() ? commands_[index_ - 1]->Text() : std::string();
}

std::string UndoStack::RedoText() const {
    return CanRedo() ? commands_[index_]->Text() : std::string();
}

void UndoStack::Undo() {
    if (!CanUndo()) return;
    commands_[index_ - 1]->Undo();
    --index_;
    Changed();
}

void UndoStack::Redo() {
    if (!CanRedo()) return;
    commands_[index_]->Redo();
    ++index_;
    Changed();
}

void UndoStack::SetClean() {
    clean_ = long(index_);
    Changed();
}

void UndoStack::Clear() {
    commands_.clear();
    index_ = 0;
    clean_ = 0;
    Changed();
}
