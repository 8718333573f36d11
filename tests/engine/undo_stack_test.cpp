// The undo stack on its own: made, undone and redone in order, what was
// undone dropped by a new edit, runs of the same edit merged but never
// across the clean state, and a command that fails not kept.
#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/undo_stack.h"
#include "support/app_error.h"

namespace {

// Adds its amount to a value; merges with the next of its key.
class Add : public Command {
  public:
    Add(int& value, int amount, int key = -1)
        : Command("Add " + std::to_string(amount), key), value_(value), amount_(amount) {}
    void Redo() override {
        if (amount_ == 666) throw std::runtime_error("refused");
        value_ += amount_;
    }
    void Undo() override { value_ -= amount_; }
    bool MergeWith(const Command& next) override {
        amount_ += static_cast<const Add&>(next).amount_;
        return true;
    }

  private:
    int& value_;
    int amount_;
};

}  // namespace

TEST(UndoStack, UndoesRedoesMergesAndKnowsItsCleanState) {
    int v = 0, changes = 0;
    UndoStack stack;
    stack.SetChanged([&] { ++changes; });
    EXPECT_TRUE(stack.IsClean());
    stack.Push(std::make_unique<Add>(v, 1));
    stack.Push(std::make_unique<Add>(v, 2));
    EXPECT_EQ(v, 3);
    EXPECT_FALSE(stack.IsClean());
    EXPECT_EQ(stack.UndoText(), "Add 2");
    stack.Undo();
    EXPECT_EQ(v, 1);
    EXPECT_EQ(stack.RedoText(), "Add 2");
    stack.Redo();
    EXPECT_EQ(v, 3);
    stack.SetClean();
    EXPECT_TRUE(stack.IsClean());
    stack.Undo();
    EXPECT_FALSE(stack.IsClean());
    stack.Redo();
    EXPECT_TRUE(stack.IsClean());

    // Steps of one spin box are one edit, but not into the saved state.
    stack.Push(std::make_unique<Add>(v, 10, 7));
    stack.Push(std::make_unique<Add>(v, 10, 7));
    stack.Push(std::make_unique<Add>(v, 10, 7));
    EXPECT_EQ(stack.Count(), 3u);
    EXPECT_EQ(v, 33);
    stack.SetClean();
    stack.Push(std::make_unique<Add>(v, 10, 7));
    EXPECT_EQ(stack.Count(), 4u) << "a step after a save is an edit of its own";
    stack.Undo();
    EXPECT_TRUE(stack.IsClean());
    stack.Undo();
    EXPECT_EQ(v, 3) << "three steps taken back as one";

    // A new edit after Undo drops what was undone, and with it the clean
    // state when that lay ahead.
    stack.Undo();
    EXPECT_EQ(v, 1);
    stack.Push(std::make_unique<Add>(v, 5));
    EXPECT_FALSE(stack.CanRedo());
    EXPECT_EQ(stack.Count(), 2u);
    stack.Undo();
    EXPECT_FALSE(stack.IsClean()) << "the saved state is gone for good";

    // An edit that cannot be made is not kept.
    EXPECT_THROW(stack.Push(std::make_unique<Add>(v, 666)), std::runtime_error);
    EXPECT_EQ(stack.Count(), 2u);
    EXPECT_EQ(v, 1);
    stack.Clear();
    EXPECT_TRUE(stack.IsClean());
    EXPECT_FALSE(stack.CanUndo());
    EXPECT_GT(changes, 10);
}

TEST(Errors, AFailedLibraryCallSaysWhatWasBeingDone) {
    auto fails = [](HRESULT hr) { return [hr] { Check(hr); }; };
    try {
        Doing("render loop 3", fails(E_FAIL));
        ADD_FAILURE();
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), E_FAIL);
        EXPECT_EQ(e.Description(), "Could not render loop 3: Unspecified error");
    }
    // Said once, by the innermost work; the program's own errors and the
    // device's sentence pass as they are.
    try {
        Doing("play loop 3", [&] { Doing("render loop 3", fails(E_OUTOFMEMORY)); });
        ADD_FAILURE();
    } catch (const AppError& e) {
        EXPECT_EQ(e.Description().rfind("Could not render loop 3: ", 0), 0u) << e.Description();
    }
    for (long number : {kErrSubscriptOutOfRange, kErrNoAudioDevice}) {
        try {
            Doing("play loop 3", [&] { ThrowError(number, "as it was"); });
        } catch (const AppError& e) {
            EXPECT_EQ(e.Description(), "as it was");
        }
    }
    EXPECT_EQ(Doing("count", [] { return 7; }), 7);
}
