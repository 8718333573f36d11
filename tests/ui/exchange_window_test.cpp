// Songs in and out from the window: Export MIDI, Export Audio as stems into
// a folder, Import MIDI into the loop shown (asking about notes no track
// plays), and another drum machine's song opened from File > Open.
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "common/ui_fixture.h"
#include "exchange/midi_export.h"
#include "exchange/midi_import.h"

class Exchange : public MainWindow {};

TEST_F(Exchange, MidiGoesOutAndComesBackIntoTheLoopShownAskingAboutUnplayedNotes) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    ExportChoice midi;
    midi.format = ExportChoice::Format::kMidi;
    music_->exports = {midi};
    dialogs_->answers = {Folder("out.mid")};
    form.ExportMidiCommand()->trigger();
    Finish();
    ASSERT_TRUE(errors_.empty()) << errors_.front();
    EXPECT_EQ(dialogs_->shown.back(), "save mid MIDI file");
    const MidiFileContent file = ReadMidiFile(Folder("out.mid"));
    EXPECT_FALSE(file.notes.empty());

    // Into loop 4, with a note no track plays: asked, answered yes.
    MidiFileContent more = file;
    more.notes.push_back({0, 9, 75, 99});  // Claves
    const std::vector<std::uint8_t> bytes =
        WriteMidiFile(480, {{}, [&] {
                                std::vector<MidiFileEvent> events;
                                for (const MidiFileNote& n : more.notes)
                                    events.push_back({n.tick, {0x99, n.key, n.velocity}});
                                return events;
                            }()});
    WriteText(Folder("more.mid"), std::string(bytes.begin(), bytes.end()));
    const LONG tracks = form.NumTracks();
    form.LoopButton(4)->click();
    dialogs_->answers = {Folder("more.mid")};
    prompts_->answers = {true};
    form.ImportMidiCommand()->trigger();
    ASSERT_EQ(prompts_->asked.size(), 1u);
    EXPECT_NE(prompts_->asked[0].find("No track plays note 75 (Claves)"), std::string::npos)
        << prompts_->asked[0];
    EXPECT_EQ(form.NumTracks(), tracks + 1);
    EXPECT_EQ(form.Row(tracks)->SampleButton()->text(), "Claves");
    EXPECT_TRUE(form.Row(tracks)->Value(0));
    // The rows show what came in: loop 0's first row.
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(form.Row(0)->Value(i),
                  form.GetSong()->Sequence(0)->Track(0)->Value(std::uint8_t(i)));
    ASSERT_FALSE(errors_.empty());
    EXPECT_NE(errors_.back().find("into loop 4"), std::string::npos);
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.NumTracks(), tracks);

    // A damaged file: refused with its name, nothing changed.
    WriteText(Folder("bad.mid"), "MThd\0\0");
    dialogs_->answers = {Folder("bad.mid")};
    form.ImportMidiCommand()->trigger();
    EXPECT_NE(errors_.back().find("\u201Cbad.mid\u201D is not a MIDI file"), std::string::npos)
        << errors_.back();
    EXPECT_EQ(form.NumTracks(), tracks);
}

TEST_F(Exchange, StemsGoIntoAFolderAndAnotherMachinesSongOpensAsANewSong) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    ExportChoice stems;
    stems.stems = true;
    music_->exports = {stems};
    dialogs_->answers = {Folder("stems")};
    form.ExportCommand()->trigger();
    Finish();
    ASSERT_TRUE(errors_.empty()) << errors_.front();
    EXPECT_EQ(dialogs_->shown.back(), "folder  Export Stems into Folder");
    std::size_t files = 0;
    for (const auto& f : std::filesystem::directory_iterator(Folder("stems")))
        files += f.path().extension() == ".wav";
    EXPECT_EQ(files, StemsOf(*form.GetSong(), ExportChoice::Format::kWav).size());

    // The export dialog offers the stems for audio, not for MIDI.
    ExportDialog audio(ExportChoice{}, false, &form);
    EXPECT_FALSE(audio.Stems()->isHidden());
    audio.Stems()->setChecked(true);
    EXPECT_TRUE(audio.Choice().stems);
    ExportChoice midi;
    midi.format = ExportChoice::Format::kMidi;
    ExportDialog other(midi, false, &form);
    EXPECT_EQ(other.windowTitle(), "Export MIDI");
    EXPECT_TRUE(other.Stems()->isHidden());
    EXPECT_EQ(other.Choice().format, ExportChoice::Format::kMidi);

    // Another drum machine's song, with its kit beside it.
    std::filesystem::create_directories(Folder("h2/Kit"));
    WriteText(Folder("h2/Kit/kick.wav"), CanonicalWav(2, 2000));
    WriteText(Folder("h2/beat.h2song"),
              "<song><bpm>133</bpm><instrumentList><instrument><id>0</id><name>Boom</name>"
              "<drumkit>Kit</drumkit><layer><filename>kick.wav</filename></layer></instrument>"
              "</instrumentList><patternList><pattern><name>a</name><size>96</size><noteList>"
              "<note><position>12</position><velocity>1</velocity><instrument>0</instrument>"
              "</note></noteList></pattern></patternList><patternSequence><group><patternID>a"
              "</patternID></group></patternSequence></song>");
    dialogs_->answers = {Folder("h2/beat.h2song")};
    prompts_->saveAnswers = {SaveChoice::kDiscard};
    form.OpenCommand()->trigger();
    Finish();
    EXPECT_EQ(dialogs_->shown.back(), "open loop h2song Songs");
    EXPECT_EQ(form.DocumentName(), "Untitled");
    EXPECT_TRUE(form.IsModified());
    EXPECT_EQ(form.NumTracks(), 1);
    EXPECT_EQ(form.Row(0)->SampleButton()->text(), "Boom");
    EXPECT_EQ(form.Row(0)->NumTicks(), 8);
    EXPECT_TRUE(form.Row(0)->Value(1));

    // Dropped on the window: a MIDI file comes into the loop shown, a song opens.
    auto drop = [&](const std::string& file) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&form, &enter);
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &event);
        Finish();
    };
    const std::vector<std::uint8_t> bytes =
        WriteMidiFile(96, {{{0, {0x99, 36, 90}}, {48, {0x99, 36, 60}}}});
    WriteText(Folder("drop.mid"), std::string(bytes.begin(), bytes.end()));
    drop(Folder("drop.mid"));
    ASSERT_FALSE(errors_.empty());
    EXPECT_NE(errors_.back().find("Imported 2 notes"), std::string::npos) << errors_.back();
    EXPECT_TRUE(form.Row(0)->Value(0));
    EXPECT_TRUE(form.Row(0)->Value(2));
    EXPECT_FALSE(form.Row(0)->Value(1));
    prompts_->saveAnswers = {SaveChoice::kDiscard};
    drop(SongPath());
    EXPECT_EQ(form.DocumentName(), kDefaultSongName);
    EXPECT_FALSE(form.IsModified());
}
