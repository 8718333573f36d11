// Keeping a song for recovery: what a session that ends cleanly leaves
// (nothing) and what a killed one leaves (its last kept song, offered once).
#include <signal.h>
#include <sys/stat.h>
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

TEST_F(Recovery, EverySessionIsItsOwnAndNothingIsLostUntilAnsweredFor) {
    TempDir dir;
    const std::string folder = dir / "state/trellon";
    Song song;
    song.SetBpm(1200000);
    AddTracks(*song.Sequence(0), 1, 32);
    // A session that ended without cleaning up, in this very process: a
    // later session with the same process id still sees its song.
    {
        SongRecovery gone(folder);
        ASSERT_TRUE(gone.Begin());
        gone.Keep(song, "relative/mine.loop");
        gone.Leave();
    }
    SongRecovery now(folder);
    ASSERT_TRUE(now.Begin());
    std::vector<SongRecovery::Orphan> orphans = now.Orphans();
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_EQ(orphans[0].songPath, std::filesystem::absolute("relative/mine.loop").string())
        << "kept with an absolute path";
    // Offered by one program at a time.
    {
        const FileLock asking = now.Claim(orphans[0]);
        EXPECT_TRUE(asking.Held());
        EXPECT_FALSE(SongRecovery(folder).Claim(orphans[0]).Held());
    }
    EXPECT_EQ(now.Orphans().size(), 1u) << "still there until answered for";
    // Private whatever the umask: the folder 0700, the files 0600.
    const mode_t old = ::umask(0);
    now.Keep(song, "");
    ::umask(old);
    struct stat st;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        ASSERT_EQ(::stat(e.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0077, 0u) << e.path();
    }
    now.Remove(orphans[0]);
    // A session lock left by a crash before anything was kept goes.
    WriteText(folder + "/session-77-00000000000000aa.lock", "");
    EXPECT_TRUE(now.Orphans().empty());
    EXPECT_FALSE(std::filesystem::exists(folder + "/session-77-00000000000000aa.lock"));
    // A folder that cannot be used says why.
    WriteText(dir / "file", "x");
    std::string why;
    EXPECT_FALSE(SongRecovery(dir / "file/trellon").Begin(&why));
    EXPECT_NE(why.find("file/trellon"), std::string::npos) << why;
    now.End();
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
