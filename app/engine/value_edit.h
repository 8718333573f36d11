// An undoable edit of one value of the song: it keeps the value before and
// after and sets either through a function.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "engine/undo_stack.h"

// An edit of one value of the song, set through apply. Edits with the
// same merge key in a row are one edit.
template <class T>
class ValueEdit : public Command {
  public:
    ValueEdit(std::string text, T before, T after, std::function<void(const T&)> apply,
              int mergeKey = -1)
        : Command(std::move(text), mergeKey),
          before_(std::move(before)),
          after_(std::move(after)),
          apply_(std::move(apply)) {}
    void Redo() override { apply_(after_); }
    void Undo() override { apply_(before_); }
    bool MergeWith(const Command& next) override {
        const auto* same = dynamic_cast<const ValueEdit*>(&next);
        if (!same) return false;
        after_ = same->after_;
        return true;
    }

  private:
    T before_, after_;
    std::function<void(const T&)> apply_;
};
