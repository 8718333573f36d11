// An undoable edit of one loop's whole content (its format and tracks);
// the loop shown before comes back with Undo, and a loop the edit made
// goes again.
#pragma once

#include <string>
#include <utility>

#include "engine/engine.h"

class LoopEdit : public Command {
  public:
    LoopEdit(Engine& engine, std::string text, std::uint8_t loop, Engine::LoopContent before,
             Engine::LoopContent after)
        : Command(std::move(text)),
          engine_(engine),
          loop_(loop),
          shownBefore_(engine.SelectedLoop()),
          before_(std::move(before)),
          after_(std::move(after)) {}
    void Redo() override { engine_.ApplyLoop(loop_, after_); }
    void Undo() override {
        engine_.ApplyLoop(loop_, before_);
        if (shownBefore_ != loop_) engine_.SelectLoop(shownBefore_);
        // A loop the edit made goes again, unless it still plays.
        if (!before_.existed) engine_.ForgetLoop(loop_);
    }

  protected:
    Engine& engine_;

  private:
    std::uint8_t loop_, shownBefore_;
    Engine::LoopContent before_, after_;
};
