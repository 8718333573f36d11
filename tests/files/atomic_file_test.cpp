// Replacing a file whole: the old file until the commit, the new one after,
// its permissions kept, and nothing left behind either way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/test_support.h"
#include "files/atomic_file.h"

namespace {
int FilesIn(const std::string& dir) {
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) n += e.is_regular_file();
    return n;
}
}  // namespace

TEST(AtomicFile, ReplacesWholeKeepsPermissionsAndLeavesNothingBehind) {
    TempDir dir;
    const std::string path = dir / "song.loop";
    WriteText(path, "old");
    ::chmod(path.c_str(), 0600);
    {
        AtomicFile f;
        ASSERT_TRUE(f.Open(path));
        ASSERT_TRUE(f.Write("new ", 4));
        ASSERT_TRUE(f.Write("song", 4));
        EXPECT_EQ(ReadText(path), "old");
        EXPECT_EQ(FilesIn(dir.path()), 2);
        ASSERT_TRUE(f.Commit());
        EXPECT_FALSE(f.IsOpen());
    }
    EXPECT_EQ(ReadText(path), "new song");
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(FilesIn(dir.path()), 1);

    {
        AtomicFile dropped;
        ASSERT_TRUE(dropped.Open(path));
        dropped.Write("x", 1);
    }
    EXPECT_EQ(ReadText(path), "new song");
    EXPECT_EQ(FilesIn(dir.path()), 1);

    // A commit that cannot rename leaves the target and no temporary file
    // (a folder took the name after the save began); a folder from the
    // start is refused at once.
    AtomicFile onto;
    ASSERT_TRUE(onto.Open(dir / "folder"));
    std::filesystem::create_directory(dir / "folder");
    WriteText(dir / "folder/inside", "x");
    onto.Write("y", 1);
    EXPECT_FALSE(onto.Commit());
    EXPECT_NE(errno, 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
    EXPECT_EQ(FilesIn(dir.path()), 1);

    AtomicFile nowhere;
    EXPECT_FALSE(nowhere.Open(dir / "no/such/folder/file"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(AtomicFile::TemporaryPattern("/a/b.loop"),
              "/a/.b.loop.tmp-" + std::to_string(::getpid()) + "-XXXXXX");
}

TEST(AtomicFile, TheNextSaveRemovesWhatAKilledSaveLeft) {
    TempDir dir;
    const std::string path = dir / "song.loop";
    WriteText(path, "old");
    // A child starts a save and is killed before it commits.
    const pid_t child = ::fork();
    if (child == 0) {
        AtomicFile f;
        if (f.Open(path)) f.Write("half", 4);
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(FilesIn(dir.path()), 2) << "the killed save's temporary file";
    // Names of others, and a temporary file of a process that still runs,
    // are left alone.
    WriteText(dir / ".notes.tmp-1-abcdef.txt", "not ours");
    const std::string running = dir / (".song.loop.tmp-" + std::to_string(::getppid()) + "-XYZ123");
    WriteText(running, "a save in progress elsewhere");
    AtomicFile next;
    ASSERT_TRUE(next.Open(path));
    ASSERT_TRUE(next.Commit());
    EXPECT_EQ(ReadText(path), "");
    EXPECT_EQ(FilesIn(dir.path()), 3);
    EXPECT_TRUE(std::filesystem::exists(running));
    EXPECT_TRUE(std::filesystem::exists(dir / ".notes.tmp-1-abcdef.txt"));
}

// Through a symbolic link the file it leads to is replaced, atomically, and
// the link stays; relative links and chains of them are followed, a link
// to nothing yet makes its target, and what is no regular file is refused.
TEST(AtomicFile, SavesThroughLinksReplaceTheTargetAndKeepTheLink) {
    TempDir dir;
    std::filesystem::create_directory(dir / "songs");
    const std::string target = dir / "songs/real.loop";
    WriteText(target, "old");
    ::chmod(target.c_str(), 0600);
    std::filesystem::create_symlink("songs/real.loop", dir / "first.loop");
    std::filesystem::create_symlink(dir / "first.loop", dir / "second.loop");
    for (const char* name : {"first.loop", "second.loop"}) {
        AtomicFile f;
        ASSERT_TRUE(f.Open(dir / name)) << name;
        EXPECT_EQ(f.Target(), dir / "songs/real.loop");
        ASSERT_TRUE(f.Write(name, std::strlen(name)));
        ASSERT_TRUE(f.Commit());
        EXPECT_TRUE(std::filesystem::is_symlink(dir / name));
        EXPECT_EQ(ReadText(target), name);
        EXPECT_EQ(std::filesystem::status(target).permissions(),
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
    EXPECT_EQ(FilesIn(dir / "songs"), 1);

    std::filesystem::create_symlink("new.loop", dir / "dangling.loop");
    AtomicFile made;
    ASSERT_TRUE(made.Open(dir / "dangling.loop"));
    ASSERT_TRUE(made.Commit());
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling.loop"));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "new.loop"));

    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink("pipe", dir / "to-pipe.loop");
    std::filesystem::create_symlink("loop-b", dir / "loop-a");
    std::filesystem::create_symlink("loop-a", dir / "loop-b");
    AtomicFile refused;
    EXPECT_FALSE(refused.Open(dir / "to-pipe.loop"));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(refused.Open(dir / "songs"));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_FALSE(refused.Open(dir / "loop-a"));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe"));
}

// A save through a link killed at any moment leaves the link a link and
// its target the old file or the new one, whole.
TEST(AtomicFile, AKilledSaveThroughALinkLeavesTheOldOrTheNewFile) {
    TempDir dir;
    const std::string target = dir / "real.loop";
    const std::string oldText(1 << 20, 'o'), newText(1 << 20, 'n');
    WriteText(target, oldText);
    std::filesystem::create_symlink("real.loop", dir / "link.loop");
    int sawOld = 0, sawNew = 0;
    for (int trial = 0; trial < 30; ++trial) {
        const pid_t child = ::fork();
        if (child == 0) {
            AtomicFile f;
            if (!f.Open(dir / "link.loop")) std::_Exit(1);
            for (std::size_t at = 0; at < newText.size(); at += 4096)
                f.Write(newText.data() + at, 4096);
            f.Commit();
            std::_Exit(0);
        }
        ::usleep(useconds_t(trial * 500));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ASSERT_TRUE(std::filesystem::is_symlink(dir / "link.loop")) << trial;
        const std::string now = ReadText(target);
        ASSERT_TRUE(now == oldText || now == newText) << trial << ": " << now.size() << " bytes";
        (now == oldText ? sawOld : sawNew)++;
        if (now == newText) WriteText(target, oldText);
    }
    EXPECT_GT(sawOld, 0);
}

TEST(AtomicFile, ANewFileFollowsTheUmaskAndAPrivateOneIsTheOwnersAlone) {
    TempDir dir;
    auto make = [&](const std::string& name, AtomicFile::Access access) {
        AtomicFile f;
        EXPECT_TRUE(f.Open(dir / name, access));
        EXPECT_TRUE(f.Write("x", 1));
        EXPECT_TRUE(f.Commit());
        struct stat st;
        ::stat((dir / name).c_str(), &st);
        return st.st_mode & 0777;
    };
    const mode_t old = ::umask(077);
    EXPECT_EQ(AtomicFile::Umask(), 077u);
    EXPECT_EQ(make("strict.loop", AtomicFile::Access::kAsUsual), 0600u);
    ::umask(022);
    EXPECT_EQ(make("usual.loop", AtomicFile::Access::kAsUsual), 0644u);
    EXPECT_EQ(make("private.loop", AtomicFile::Access::kOwnerOnly), 0600u);
    ::umask(002);
    EXPECT_EQ(make("usual.loop", AtomicFile::Access::kAsUsual), 0644u)
        << "a replaced file keeps its own";
    ::umask(old);
}
