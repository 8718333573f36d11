// Keeping a song for recovery: what a session that ends cleanly leaves
// (nothing) and what a killed one leaves (its last kept song, offered once).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/song_fixture.h"
#include "song/song_file.h"
#include "song/song_recovery.h"

namespace {
using Recovery = AudioLibrary;

// Runs work in a child process that is then killed, as a crash ends one.
void InKilledChild(const std::function<void()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        work();
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
}
}  // namespace

TEST_F(Recovery, AKilledSessionLeavesItsSongAndACleanOneNothing) {
    TempDir dir;
    const std::string folder = dir / "state/trellon";
    Song song;
    song.SetBpm(987654);
    AddTracks(*song.Sequence(0), 2, 32);
    song.Sequence(0)->Track(1)->SetValue(7, true);

    // A clean session: kept, then ended.
    {
        SongRecovery session(folder);
        ASSERT_TRUE(session.Begin());
        session.Keep(song, "/music/mine.loop");
        EXPECT_TRUE(session.Orphans().empty()) << "its own autosave is no orphan";
        session.End();
    }
    EXPECT_TRUE(SongRecovery(folder).Orphans().empty());
    EXPECT_TRUE(std::filesystem::is_empty(folder));

    // A killed session: its song is offered, with the file it belongs to.
    InKilledChild([&] {
        SongRecovery session(folder);
        if (session.Begin()) session.Keep(song, "/music/mine.loop");
    });
    // One that runs on is not.
    SongRecovery running(folder);
    ASSERT_TRUE(running.Begin());
    running.Keep(song, "");
    std::vector<SongRecovery::Orphan> orphans = SongRecovery(folder).Orphans();
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_EQ(orphans[0].songPath, "/music/mine.loop");
    EXPECT_GT(orphans[0].keptAt, 0);
    EXPECT_EQ(Written(*ReadSongFile(orphans[0].autosave)), Written(song));
    SongRecovery(folder).Remove(orphans[0]);
    EXPECT_TRUE(SongRecovery(folder).Orphans().empty());
    running.Forget();
    running.End();
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(RecoveryFolder, FollowsTheStateHome) {
    const char* old = std::getenv("XDG_STATE_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_STATE_HOME", "/somewhere/state", 1);
    EXPECT_EQ(SongRecovery::DefaultFolder(), "/somewhere/state/trellon");
    ::setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored, as XDG has it
    const char* home = std::getenv("HOME");
    EXPECT_EQ(SongRecovery::DefaultFolder(),
              std::string(home && *home ? home : "/tmp") + "/.local/state/trellon");
    if (old)
        ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
}
