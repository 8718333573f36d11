// The tracks of the main window: sounds from any audio file, by the sample
// button, by dropping files and from a drum kit; tracks added, renamed and
// removed; the song and the rows always in agreement, and every change
// undoable and heard.
#include <sndfile.h>

#include <QMimeData>
#include <QUrl>
#include <cmath>

#include "common/song_fixture.h"
#include "common/ui_fixture.h"

namespace {

// A sound file made with libsndfile: frames of a decaying tone.
std::string Sound(const std::string& path, int format, int rate, int channels, long frames,
                  double pitch = 200) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<double> v(std::size_t(frames) * channels);
    for (long i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            v[std::size_t(i) * channels + c] =
                0.6 * std::exp(-double(i) / 3000) * std::sin(2 * M_PI * pitch * i / rate);
    sf_writef_double(f, v.data(), frames);
    sf_close(f);
    return path;
}

}  // namespace

class Tracks : public MainWindow {
  protected:
    // The window's song and rows agree: one row per sample slot, one track
    // per row in every loop; and what plays is the loop as rendered apart.
    void ExpectAgreement() {
        MainForm& form = *form_;
        const Song& song = *form.GetSong();
        EXPECT_EQ(form.NumTracks(), LONG(song.SampleSlots().size()));
        for (const auto& loop : song.LoopSlots())
            if (loop) {
                EXPECT_EQ(LONG(loop->Tracks().size()), form.NumTracks());
            }
        for (LONG i = 0; i < form.NumTracks(); ++i) {
            const auto& sample = song.SampleSlots()[std::size_t(i)];
            EXPECT_EQ(form.Row(i)->Caption(), sample ? sample->Caption() : u"") << i;
        }
        EXPECT_EQ(ValuesOf(form.LoopWav().get()),
                  ValuesOf(RenderedLoop(song, form.SelectedLoopIndex()).get()));
    }
    static SHORT Channels(IWav* w) {
        SHORT c = 0;
        w->get_NumChannels(&c);
        return c;
    }
};

TEST_F(Tracks, TheSampleButtonLoadsAnyAudioFileAfterPlayingIt) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    const std::string flac =
        Sound(Folder("low tom.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 22050, 1, 11025);
    const QString before = form.Row(6)->SampleButton()->text();
    dialogs_->answers = {flac};
    std::vector<unsigned char> previewed;
    dialogs_->whilePreviewing = [&] {
        Device().ClearPlayed();
        Advance(4000);
        previewed = Device().Played();
    };
    QTest::mouseClick(form.Row(6)->SampleButton(), Qt::LeftButton);
    Finish();
    EXPECT_EQ(dialogs_->shown, std::vector<std::string>{"audio  Audio files"});
    // The song's format: stereo 44,100 Hz, half a second as in the file.
    const ComPtr<IWav> wav = form.GetSong()->SampleAt(6)->Wav();
    EXPECT_EQ(FramesOf(wav.get()), 22050);
    EXPECT_EQ(Channels(wav.get()), 2);
    EXPECT_EQ(form.Row(6)->SampleButton()->text(), "low tom");
    // What Play in the dialog played is the converted sound.
    const std::vector<AudioSample> v = ValuesOf(wav.get());
    ASSERT_GE(previewed.size(), 16000u);
    EXPECT_EQ(std::memcmp(previewed.data(), v.data(), 16000), 0);
    EXPECT_FALSE(Streaming()) << "the preview ends with the dialog";
    ExpectAgreement();
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.Row(6)->SampleButton()->text(), before);
    ExpectAgreement();
    EXPECT_TRUE(errors_.empty());

    // A file that is no audio is reported and changes nothing.
    WriteText(Folder("notes.wav"), "text");
    dialogs_->answers = {Folder("notes.wav")};
    dialogs_->whilePreviewing = nullptr;
    QTest::mouseClick(form.Row(6)->SampleButton(), Qt::LeftButton);
    Finish();
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].find("\u201Cnotes.wav\u201D cannot be imported"), 0u) << errors_[0];
    EXPECT_EQ(form.Row(6)->SampleButton()->text(), before);
}

TEST_F(Tracks, DroppedFilesReplaceATracksSoundOrBecomeNewTracks) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    auto drop = [&](const std::vector<std::string>& files, QPoint at) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
        data.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &event);
        Finish();
    };
    auto rowCentre = [&](LONG row) {
        return form.centralWidget()->mapTo(&form, form.Row(row)->geometry().center());
    };
    const std::string a =
        Sound(Folder("a.aiff"), SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 48000, 2, 4800);
    const std::string b = Sound(Folder("b.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 6, 2000);
    const std::string c = Sound(Folder("c.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 1, 9000);
    // One file on a row: that track's sound.
    form.Row(3)->SetValue(0, true);
    drop({a}, rowCentre(3));
    EXPECT_EQ(form.Row(3)->Caption(), u"a");
    EXPECT_EQ(FramesOf(form.GetSong()->SampleAt(3)->Wav().get()), 4410);
    EXPECT_EQ(form.NumTracks(), 10);
    ExpectAgreement();
    // Two files anywhere: two new tracks, in every loop.
    drop({b, c}, rowCentre(1));
    EXPECT_EQ(form.NumTracks(), 12);
    EXPECT_EQ(form.Row(10)->Caption(), u"b");
    EXPECT_EQ(form.Row(11)->Caption(), u"c");
    ExpectAgreement();
    // One file below the rows: a new track.
    drop({a}, QPoint(rowCentre(11).x(), rowCentre(11).y() + 40));
    EXPECT_EQ(form.NumTracks(), 13);
    ExpectAgreement();
    // Ticks on the new tracks are heard; undo takes the drop back.
    ClickTick(12, 4);
    ExpectAgreement();
    form.UndoCommand()->trigger();
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.NumTracks(), 12);
    ExpectAgreement();
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.NumTracks(), 10);
    ExpectAgreement();
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Tracks, TracksAreAddedRenamedAndRemovedWithUndo) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    const auto original = Written(*form.GetSong());
    // Rename, from the sample button's menu.
    prompts_->texts = {"Big Kick"};
    auto menu = form.SampleButtonMenu(0);
    QStringList items;
    for (QAction* a : menu->actions()) items << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(items.join('|'),
              "&Replace...|Re&name...|&Track Settings...|-|&Copy Row|&Paste Row|Shift &Left|"
              "Shift R&ight|-|&Remove Track");
    menu->actions()[1]->trigger();
    EXPECT_EQ(prompts_->asked.back(), "Name of track 1: [Kick]");
    EXPECT_EQ(form.Row(0)->Caption(), u"Big Kick");
    EXPECT_EQ(form.GetSong()->SampleAt(0)->Caption(), u"Big Kick");
    // Remove the snare's track: every loop loses it and the tracks below move up.
    const auto hats = form.GetSong()->Sequence(2)->Track(2)->TickBytes();
    form.SampleButtonMenu(1)->actions().back()->trigger();
    EXPECT_EQ(form.NumTracks(), 9);
    EXPECT_EQ(form.Row(1)->Caption(), u"Closed Hat");
    EXPECT_EQ(form.GetSong()->Sequence(2)->Track(1)->TickBytes(), hats);
    ExpectAgreement();
    // Add one: empty, 32 ticks, in every loop.
    form.AddTrackCommand()->trigger();
    EXPECT_EQ(form.NumTracks(), 10);
    EXPECT_EQ(form.Row(9)->Caption(), u"");
    EXPECT_EQ(form.GetSong()->Sequence(4)->Track(9)->NumTicks(), 32);
    ExpectAgreement();
    // Switch to another loop: it sounds the song as it is now.
    Press(Qt::Key_2, Qt::KeypadModifier);
    ExpectAgreement();
    // All taken back, the song is as opened.
    for (int i = 0; i < 3; ++i) form.UndoCommand()->trigger();
    EXPECT_EQ(Written(*form.GetSong()), original);
    EXPECT_FALSE(form.IsModified());
    ExpectAgreement();
    for (int i = 0; i < 3; ++i) form.RedoCommand()->trigger();
    EXPECT_EQ(form.NumTracks(), 10);
    EXPECT_EQ(form.Row(0)->Caption(), u"Big Kick");
    ExpectAgreement();
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Tracks, ADrumKitGivesOneTrackPerInstrumentAndKeepsTheLoops) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    std::filesystem::create_directory(Folder("kit"));
    Sound(Folder("kit/kick-soft.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 4000, 60);
    Sound(Folder("kit/kick-hard.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 2, 4800, 70);
    Sound(Folder("kit/snare.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 3000, 300);
    std::string instruments;
    for (int i = 0; i < 11; ++i)  // more instruments than the song has tracks
        instruments += "<instrument><name>Perc " + std::to_string(i) +
                       "</name><layer><filename>snare.flac</filename></layer></instrument>";
    WriteText(Folder("kit/drumkit.xml"),
              "<?xml version=\"1.0\"?><drumkit_info><name>Test</name><instrumentList>"
              "<instrument><name>Kick</name><midiOutNote>35</midiOutNote><instrumentComponent>"
              "<layer><filename>kick-soft.wav</filename><min>0</min><max>0.6</max></layer>"
              "<layer><filename>kick-hard.wav</filename><min>0.6</min><max>1</max></layer>"
              "</instrumentComponent></instrument>"
              "<instrument><name>Broken</name><filename>missing.wav</filename></instrument>" +
                  instruments + "</instrumentList></drumkit_info>");
    const auto loops = form.GetSong()->LoopSlots();
    std::vector<std::vector<std::uint8_t>> ticks;
    for (int t = 0; t < 10; ++t) ticks.push_back(loops[1]->Track(t)->TickBytes());
    dialogs_->answers = {Folder("kit/drumkit.xml")};
    prompts_->kitAnswers = {KitChoice::kReplace};
    form.ImportDrumKitCommand()->trigger();
    Finish();
    // Asked first, the song having sounds: the kit's sounds replace the
    // tracks'. The missing sample is reported; the other twelve
    // instruments are tracks.
    ASSERT_EQ(prompts_->asked.size(), 1u);
    EXPECT_EQ(prompts_->asked[0].find("Replace the sounds of the song's tracks"), 0u);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("Broken"), std::string::npos) << errors_[0];
    EXPECT_EQ(form.NumTracks(), 12);
    EXPECT_EQ(form.Row(0)->Caption(), u"Kick");
    EXPECT_EQ(FramesOf(form.GetSong()->SampleAt(0)->Wav().get()), 4410) << "the hard layer";
    EXPECT_EQ(form.Row(11)->Caption(), u"Perc 10");
    // The kick keeps the note the kit gives it; the others play the default.
    EXPECT_EQ(form.GetSong()->SampleAt(0)->MidiNote(), 35);
    EXPECT_EQ(form.GetSong()->SampleAt(1)->MidiNote(), -1);
    for (int t = 0; t < 10; ++t) EXPECT_EQ(loops[1]->Track(t)->TickBytes(), ticks[t]);
    ExpectAgreement();
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.NumTracks(), 10);
    EXPECT_EQ(form.Row(0)->Caption(), u"Kick");
    EXPECT_EQ(Channels(form.GetSong()->SampleAt(0)->Wav().get()), 2);
    ExpectAgreement();

    // Added as tracks of its own; what does not fit, and files outside
    // the kit's folder, are left out and said.
    Sound(Folder("secret.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 100);
    std::string many;
    for (int i = 0; i < 60; ++i)
        many += "<instrument><name>P" + std::to_string(i) +
                "</name><filename>snare.flac</filename></instrument>";
    WriteText(Folder("kit/big.xml"),
              "<drumkit_info><name>Big</name><instrumentList>"
              "<instrument><name>Up</name><filename>../secret.wav</filename></instrument>"
              "<instrument><name>Abs</name><filename>" +
                  Folder("secret.wav") + "</filename></instrument>" + many +
                  "</instrumentList></drumkit_info>");
    errors_.clear();
    prompts_->kitAnswers = {KitChoice::kAdd};
    form.ImportDrumKit(Folder("kit/big.xml"));
    Finish();
    EXPECT_EQ(form.NumTracks(), 64);
    EXPECT_EQ(form.Row(10)->Caption(), u"P0");
    EXPECT_EQ(form.Row(0)->Caption(), u"Kick") << "the song's own tracks stay";
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("Up (../secret.wav): outside the kit's folder"), std::string::npos)
        << errors_[0];
    EXPECT_NE(errors_[0].find("Abs ("), std::string::npos) << errors_[0];
    EXPECT_NE(errors_[0].find("6 instruments more than the song's 64 tracks hold"),
              std::string::npos)
        << errors_[0];
    ExpectAgreement();
}
