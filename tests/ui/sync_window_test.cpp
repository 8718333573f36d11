// Audio > Sync: who leads playback, kept in the settings (not when the
// command line chose it), said in the status bar, and given to the output
// and the engine.
#include "common/ui_fixture.h"

class SyncMenu : public MainWindow {
  protected:
    void TearDown() override {
        MainWindow::TearDown();
        SetTransportRole(TransportRole::kNone);
        SetSendMidiClock(true);
    }
    static QAction* Command(MainForm& form, const char* name) {
        for (QAction* a : form.SyncMenu()->actions())
            if (a->objectName() == name) return a;
        return nullptr;
    }
};

TEST_F(SyncMenu, TheChoiceIsGivenToTheOutputAndEngineShownAndKeptForTheNextRun) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    EXPECT_EQ(form.SyncLabel()->text(), "Sync: internal");
    EXPECT_EQ(GetTransportRole(), TransportRole::kNone);
    QAction* follow = Command(form, "FollowJackTransportCommand");
    QAction* lead = Command(form, "LeadJackTransportCommand");
    QAction* clock = Command(form, "SendMidiClockCommand");
    ASSERT_TRUE(follow && lead && clock);
    EXPECT_TRUE(clock->isChecked());

    follow->trigger();
    EXPECT_EQ(GetTransportRole(), TransportRole::kFollow);
    EXPECT_TRUE(form.GetEngine().FollowsTransport());
    EXPECT_EQ(form.SyncLabel()->text(), "Sync: JACK");
    lead->trigger();
    EXPECT_FALSE(follow->isChecked());
    EXPECT_EQ(GetTransportRole(), TransportRole::kLead);
    EXPECT_FALSE(form.GetEngine().FollowsTransport());
    EXPECT_EQ(form.SyncLabel()->text(), "Sync: internal, leads JACK");
    clock->trigger();
    EXPECT_FALSE(SendsMidiClock());
    // Following a MIDI clock: none comes on this output.
    QAction* midi = Command(form, "FollowMidiClockCommand");
    ASSERT_TRUE(midi);
    midi->trigger();
    EXPECT_EQ(GetTransportRole(), TransportRole::kFollowClock);
    EXPECT_TRUE(form.GetEngine().FollowsTransport());
    EXPECT_EQ(form.SyncLabel()->text(), "Sync: MIDI clock (none)");
    lead->trigger();

    // The next run starts as this one was left.
    Start(SongPath());
    EXPECT_EQ(GetTransportRole(), TransportRole::kLead);
    EXPECT_FALSE(SendsMidiClock());
    EXPECT_TRUE(Command(*form_, "LeadJackTransportCommand")->isChecked());

    // A choice from the command line is this run's only.
    form_.reset();
    MainForm& again = Start(SongPath());
    again.SetSyncFromCommandLine(SyncChoice::kFollowJack);
    EXPECT_EQ(GetTransportRole(), TransportRole::kFollow);
    EXPECT_EQ(QSettings(QString::fromStdString(SettingsPath()), QSettings::IniFormat)
                  .value("Sync/Source")
                  .toString(),
              "jack-lead");
}

TEST_F(SyncMenu, LinkStartStopIsGivenToTheEngineAndKept) {
    // Joining a Link session sends on the machine's network: only the
    // choice that shares start and stop is tried here (the session itself
    // is tested in a network namespace of its own).
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    QAction* link = Command(form, "LinkSyncCommand");
    QAction* startStop = Command(form, "LinkStartStopCommand");
    ASSERT_TRUE(link && startStop);
    EXPECT_FALSE(startStop->isChecked());
    EXPECT_FALSE(form.GetEngine().SharesLinkStartStop());
    startStop->trigger();
    EXPECT_TRUE(form.GetEngine().SharesLinkStartStop());
    EXPECT_FALSE(form.GetEngine().FollowsLink());
    Start(SongPath());
    EXPECT_TRUE(Command(*form_, "LinkStartStopCommand")->isChecked());
    EXPECT_TRUE(form_->GetEngine().SharesLinkStartStop());
}
