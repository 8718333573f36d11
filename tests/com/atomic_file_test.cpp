// Replacing a file whole: the old file until the commit, the new one after,
// its permissions kept, and nothing left behind either way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "com/atomic_file.h"
#include "common/test_support.h"

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

    // A commit that cannot rename leaves the target and no temporary file.
    std::filesystem::create_directory(dir / "folder");
    WriteText(dir / "folder/inside", "x");
    AtomicFile onto;
    ASSERT_TRUE(onto.Open(dir / "folder"));
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
