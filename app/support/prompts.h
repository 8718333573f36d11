// The questions and notes the windows put to the user, behind one
// interface so that tests answer them from a script.
#pragma once

#include <memory>
#include <string>

class QWidget;

enum class SaveChoice { kSave, kDiscard, kCancel };
enum class OverwriteChoice { kOverwrite, kSaveAs, kCancel };
enum class KitChoice { kReplace, kAdd, kCancel };

class Prompts {
  public:
    virtual ~Prompts() = default;
    // "Save changes to “name”?" with Save, Discard and Cancel.
    virtual SaveChoice AskToSaveChanges(const std::string& name, QWidget* owner) = 0;
    // A question with Yes (true) and No.
    virtual bool Ask(const std::string& question, QWidget* owner) = 0;
    // A note with only OK.
    virtual void Tell(const std::string& note, QWidget* owner) = 0;
    // "“name” has changed on disk since you opened it" with Overwrite,
    // Save As and Cancel.
    virtual OverwriteChoice AskToOverwrite(const std::string& name, QWidget* owner) = 0;
    // A drum kit over a song that has sounds: replace the tracks' sounds,
    // add the kit as new tracks, or cancel.
    virtual KitChoice AskHowToAddKit(const std::string& question, QWidget* owner) = 0;
    // A line of text asked for, starting as text; false when cancelled.
    virtual bool AskText(const std::string& question, std::string& text, QWidget* owner) = 0;
};

// Modal Qt message boxes captioned with title.
std::unique_ptr<Prompts> MakePrompts(const std::string& title);
