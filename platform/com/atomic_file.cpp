#include "com/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::string FolderOfPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string AtomicFile::TemporaryPattern(const std::string& target) {
    const std::size_t slash = target.find_last_of('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return FolderOfPath(target) + "/." + name + ".tmp-" + std::to_string(::getpid()) + "-XXXXXX";
}

AtomicFile::~AtomicFile() {
    Discard();
}

void AtomicFile::Discard() {
    const int saved = errno;
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    errno = saved;
}

bool AtomicFile::Open(const std::string& path) {
    Discard();
    target_ = path;
    std::string pattern = TemporaryPattern(path);
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return false;
    temporary_ = pattern;
    struct stat st;
    ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        Discard();
        return false;
    }
    return true;
}

bool AtomicFile::Write(const void* data, std::size_t size) {
    if (!file_) {
        errno = EBADF;
        return false;
    }
    return size == 0 || std::fwrite(data, 1, size, file_) == size;
}

bool AtomicFile::Commit() {
    if (!file_) {
        errno = EBADF;
        return false;
    }
    bool ok = std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
    int failure = ok ? 0 : errno;
    if (std::fclose(file_) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    file_ = nullptr;
    if (ok && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        Discard();
        errno = failure;
        return false;
    }
    temporary_.clear();
    // The rename itself survives a crash once the folder is synced.
    const int dir = ::open(FolderOfPath(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
