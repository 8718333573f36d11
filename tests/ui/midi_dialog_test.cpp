// Track > MIDI: each track's note by number and name, Learn taking the
// next note received, and the channel; the window's command makes the
// choice one edit.
#include <QLineEdit>

#include "common/ui_fixture.h"
#include "ui/midi_dialog.h"

namespace {

class ScriptedMidiMap : public MidiMapChooser {
  public:
    std::deque<Engine::MidiMap> answers;  // when empty: cancelled
    std::vector<std::u16string> captions;
    bool ChooseMidiMap(Engine::MidiMap& map, const std::vector<std::u16string>& names,
                       std::function<NoteSeen()>, QWidget*) override {
        captions = names;
        if (answers.empty()) return false;
        map = answers.front();
        answers.pop_front();
        return true;
    }
};

}  // namespace

TEST(MidiDialog, ShowsNotesByNameLearnsTheNextNoteAndChoosesAChannel) {
    NoteSeen seen;
    seen.serial = 5;
    seen.note = 42;
    MidiMapDialog dialog(
        {{-1, 50}, 0}, {u"Kick", u"Snare", u"Hat"}, [&] { return seen; }, nullptr);
    EXPECT_EQ(dialog.NoteBox(0)->text(), "36 C1");
    EXPECT_EQ(dialog.NoteBox(1)->text(), "50 D2");
    EXPECT_EQ(dialog.NoteBox(2)->text(), "38 D1");
    EXPECT_EQ(dialog.Channel()->currentText(), "All channels");
    // Learn waits for a note after it was pressed: the last one before
    // does not count.
    dialog.LearnButton(2)->click();
    dialog.Poll();
    EXPECT_EQ(dialog.NoteBox(2)->value(), 38);
    EXPECT_TRUE(dialog.LearnButton(2)->isChecked());
    seen.serial = 6;
    seen.note = 46;
    dialog.Poll();
    EXPECT_EQ(dialog.NoteBox(2)->value(), 46);
    EXPECT_EQ(dialog.NoteBox(2)->text(), "46 A#1");
    EXPECT_FALSE(dialog.LearnButton(2)->isChecked());
    // One track learns at a time.
    dialog.LearnButton(0)->click();
    dialog.LearnButton(1)->click();
    EXPECT_FALSE(dialog.LearnButton(0)->isChecked());
    // A number typed in.
    auto* edit = dialog.NoteBox(1)->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, "60");
    dialog.NoteBox(1)->interpretText();
    dialog.Channel()->setCurrentIndex(dialog.Channel()->findData(10));
    // Tracks at their default note are kept as the default.
    EXPECT_EQ(dialog.Choice(), (Engine::MidiMap{{-1, 60, 46}, 10}));
}

TEST_F(MainWindow, TheMidiCommandMakesTheChosenMapOneEdit) {
    UseDefaultSong();
    MainForm& form = Start();
    Finish();
    auto chooser = std::make_unique<ScriptedMidiMap>();
    ScriptedMidiMap* script = chooser.get();
    form.SetMidiMapChooser(std::move(chooser));
    form.MidiMapCommand()->trigger();  // cancelled: nothing changes
    EXPECT_EQ(script->captions.size(), std::size_t(form.GetEngine().GetSong()->NumTracks()));
    EXPECT_EQ(form.GetEngine().GetMidiMap().channel, 0);
    script->answers.push_back({{45}, 10});
    form.MidiMapCommand()->trigger();
    EXPECT_EQ(form.GetEngine().GetMidiMap().notes[0], 45);
    EXPECT_EQ(form.GetEngine().GetMidiMap().channel, 10);
    EXPECT_EQ(form.UndoCommand()->text(), "&Undo MIDI Map");
    EXPECT_TRUE(form.GetEngine().IsModified());
    EXPECT_TRUE(errors_.empty());
}
