#include "file_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app_error.h"

namespace {

// File errors as the program reports them: a number and what happened.
[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path) {
    int e = errno;
    long number = e == ENOENT ? 53 : e == EACCES || e == EPERM ? 70 : 75;
    throw AppError(number, what + " \"" + path + "\": " + std::strerror(e));
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::shared_ptr<FileStream> OpenFileForReading(const std::string& path) {
    std::shared_ptr<FileStream> s(new FileStream);
    s->path_ = path;
    s->file_ = std::fopen(path.c_str(), "rb");
    if (!s->file_) ThrowFileError("Cannot open", path);
    struct stat st;
    if (::fstat(::fileno(s->file_), &st) != 0) ThrowFileError("Cannot read", path);
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        ThrowFileError("Cannot open", path);
    }
    s->remaining_ = st.st_size;
    return s;
}

std::shared_ptr<FileStream> CreateFileForWriting(const std::string& path) {
    std::shared_ptr<FileStream> s(new FileStream);
    std::string pattern = FolderOf(path) + "/.trellon-save-XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) ThrowFileError("Cannot create a file beside", path);
    s->path_ = path;
    s->temporary_ = pattern;
    s->target_ = path;
    // Keep the permissions of the file being replaced.
    struct stat st;
    ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    s->file_ = ::fdopen(fd, "wb");
    if (!s->file_) {
        ::close(fd);
        ::unlink(pattern.c_str());
        ThrowFileError("Cannot create", path);
    }
    return s;
}

FileStream::~FileStream() {
    if (file_) std::fclose(file_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());  // never committed
}

void FileStream::WriteBytes(const void* data, std::size_t size) {
    if (!file_ || target_.empty()) throw AppError(54, "Bad file mode");
    if (size && std::fwrite(data, 1, size, file_) != size) ThrowFileError("Cannot write", target_);
}

ByteArray FileStream::ReadBytes(std::int32_t count) {
    if (!file_ || !target_.empty()) throw AppError(54, "Bad file mode");
    if (count < 0) throw AppError(5, "Invalid procedure call or argument");
    // Never more than the file still holds.
    std::size_t want = static_cast<std::size_t>(std::min<long long>(count, remaining_));
    ByteArray bytes(want);
    std::size_t got = want ? std::fread(bytes.data(), 1, want, file_) : 0;
    if (got < want && std::ferror(file_)) ThrowFileError("Cannot read", path_);
    bytes.resize(got);
    remaining_ -= static_cast<long long>(got);
    return bytes;
}

void FileStream::Commit() {
    if (!file_ || target_.empty()) throw AppError(54, "Bad file mode");
    bool ok = std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok || ::rename(temporary_.c_str(), target_.c_str()) != 0)
        ThrowFileError("Cannot save", target_);
    temporary_.clear();
    int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}
