#include "files/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int FileDescriptor::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void FileDescriptor::Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

FileLock::FileLock(const std::string& path, Kind kind, Wait wait)
    : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (!fd_.IsOpen()) return;
    const int how = (kind == Kind::kShared ? LOCK_SH : LOCK_EX) | (wait == Wait::kNo ? LOCK_NB : 0);
    int status;
    while ((status = ::flock(fd_.Get(), how)) != 0 && errno == EINTR) {
    }
    held_ = status == 0;
    if (!held_) {
        const int e = errno;
        fd_.Reset();
        errno = e;
    }
}

void FileLock::Release() {
    fd_.Reset();  // closing releases the lock
    held_ = false;
}

bool FileLock::IsHeld(const std::string& path) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) return false;
    return ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}
