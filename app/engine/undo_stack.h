// The edits of a song as commands on an undo stack: each knows how to make
// its change and how to take it back. The stack remembers which of its
// states equals the song's file (clean), so the song knows whether it is
// modified. Plain C++: the window's Edit menu drives it, and so do tests.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class Command {
  public:
    // text names the edit ("Tick On", "Tempo"); commands with the same
    // merge key pushed one after another may become one (-1: never).
    explicit Command(std::string text, int mergeKey = -1)
        : text_(std::move(text)), mergeKey_(mergeKey) {}
    virtual ~Command() = default;
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    virtual void Redo() = 0;
    virtual void Undo() = 0;
    // Takes next, pushed right after this with the same merge key, into
    // this edit; false to keep them apart.
    virtual bool MergeWith(const Command& /*next*/) { return false; }

    const std::string& Text() const { return text_; }
    int MergeKey() const { return mergeKey_; }

  private:
    std::string text_;
    int mergeKey_;
};

class UndoStack {
  public:
    // Makes the command's change and keeps it; the edits undone before are
    // dropped. A command whose Redo throws is not kept, and the error goes
    // to the caller.
    void Push(std::unique_ptr<Command> command);
    bool CanUndo() const { return index_ > 0; }
    bool CanRedo() const { return index_ < commands_.size(); }
    // The text of the edit Undo or Redo would take; "" when there is none.
    std::string UndoText() const;
    std::string RedoText() const;
    void Undo();
    void Redo();
    // Whether the edits made equal the state marked clean.
    bool IsClean() const { return clean_ == long(index_); }
    void SetClean();
    // Forgets every edit; the state now is clean.
    void Clear();
    std::size_t Index() const { return index_; }
    std::size_t Count() const { return commands_.size(); }
    // Called after every change of the stack or of where it stands.
    void SetChanged(std::function<void()> changed) { changed_ = std::move(changed); }

  private:
    void Changed() {
        if (changed_) changed_();
    }
    std::vector<std::unique_ptr<Command>> commands_;
    std::size_t index_ = 0;  // commands_[0 .. index_) are made
    long clean_ = 0;         // the index that is clean; -1 when none can be
    std::function<void()> changed_;
};
