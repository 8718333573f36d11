// Advisory locks on files (flock) with one owner each: the lock is held
// from a successful Lock until the object goes, and closing its descriptor
// releases it, also when the process dies.
#pragma once

#include <string>

// An open file descriptor, closed with its owner.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Reset(); }

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    int Release();
    void Reset();

  private:
    int fd_ = -1;
};

class FileLock {
  public:
    enum class Kind { kExclusive, kShared };
    enum class Wait { kYes, kNo };
    FileLock() = default;
    // Takes a lock on the file at path, made (mode 0600 before the umask)
    // when missing: exclusive, or shared with other shared holders;
    // waiting for a holder in the way, or failing at once. Held says
    // whether it was taken; when not, errno says why (EWOULDBLOCK:
    // somebody else holds it).
    FileLock(const std::string& path, Kind kind, Wait wait);
    FileLock(FileLock&&) noexcept = default;
    FileLock& operator=(FileLock&&) noexcept = default;

    bool Held() const { return held_; }
    // Lets go of the lock (and the file stays).
    void Release();

    // Whether somebody holds a lock on the file at path now.
    static bool IsHeld(const std::string& path);

  private:
    FileDescriptor fd_;
    bool held_ = false;
};
