// File locks held by one owner: a second owner cannot take one that is
// held, a failed lock says so (and why), and releasing or dropping the
// owner lets the next one in; where the files of a user go.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "common/test_support.h"
#include "files/file_lock.h"
#include "files/folders.h"

TEST(FileLock, OneOwnerAtATimeAndAFailedLockSaysSo) {
    TempDir dir;
    const std::string path = dir / "session.lock";
    EXPECT_FALSE(FileLock::IsHeld(path));
    {
        FileLock first(path, FileLock::Kind::kExclusive, FileLock::Wait::kNo);
        ASSERT_TRUE(first.Held());
        EXPECT_TRUE(FileLock::IsHeld(path));
        FileLock second(path, FileLock::Kind::kShared, FileLock::Wait::kNo);
        EXPECT_FALSE(second.Held()) << "taken already";
        EXPECT_EQ(errno, EWOULDBLOCK);
        first.Release();
        EXPECT_FALSE(first.Held());
        FileLock third(path, FileLock::Kind::kShared, FileLock::Wait::kNo);
        EXPECT_TRUE(third.Held());
        FileLock reader(path, FileLock::Kind::kShared, FileLock::Wait::kNo);
        EXPECT_TRUE(reader.Held()) << "shared with another reader";
        FileLock moved = std::move(third);
        EXPECT_TRUE(moved.Held());
        EXPECT_TRUE(FileLock::IsHeld(path));
    }
    EXPECT_FALSE(FileLock::IsHeld(path)) << "dropped with its owner";
    // A lock that cannot be made at all is not held either.
    FileLock nowhere(dir / "missing/folder/x.lock", FileLock::Kind::kExclusive,
                     FileLock::Wait::kYes);
    EXPECT_FALSE(nowhere.Held());
    EXPECT_EQ(errno, ENOENT);
}

TEST(Folders, TheUsersDataAndStateFoldersFollowTheBaseDirectoryRules) {
    TempDir dir;
    ::setenv("HOME", dir.path().c_str(), 1);
    ::setenv("XDG_STATE_HOME", "relative/ignored", 1);
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(StateHome(), dir / ".local/state");
    EXPECT_EQ(DataHome(), dir / ".local/share");
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    EXPECT_EQ(DataHome(), dir / "data");
    EXPECT_TRUE(MakeFolders(dir / "a/b/c", 0700));
    struct stat st;
    ASSERT_EQ(::stat((dir / "a/b/c").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    WriteText(dir / "file", "x");
    EXPECT_FALSE(MakeFolders(dir / "file", 0700));
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(FolderOfPath("song.loop"), ".");
    EXPECT_EQ(FolderOfPath("/song.loop"), "/");
    EXPECT_EQ(FolderOfPath("/a/b/song.loop"), "/a/b");
}
