#include "support/file_streams.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/regular_file.h"
#include "support/app_error.h"

namespace {

// The bytes read or written between two reports of progress.
constexpr std::size_t kProgressStep = std::size_t(4) << 20;

// File errors as the program reports them: a number and what happened.
[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path) {
    const int e = errno;
    const long number = e == ENOENT                 ? kErrFileNotFound
                        : e == EACCES || e == EPERM ? kErrPermissionDenied
                                                    : kErrFileAccess;
    ThrowError(number, what + " \"" + path + "\": " + std::strerror(e));
}

}  // namespace

std::shared_ptr<FileStream> OpenFileForReading(const std::string& path) {
    std::shared_ptr<FileStream> s(new FileStream);
    s->path_ = path;
    // Only a regular file: a FIFO would block the window, a device never end.
    s->file_ = OpenRegularFile(path);
    if (!s->file_ && errno == EINVAL)
        ThrowError(kErrFileAccess, "Cannot open \"" + path +
                                       "\": it is not a regular file (a pipe, device or socket)");
    if (!s->file_) ThrowFileError("Cannot open", path);
    struct stat st;
    if (::fstat(::fileno(s->file_.get()), &st) != 0) ThrowFileError("Cannot read", path);
    s->remaining_ = st.st_size;
    return s;
}

std::shared_ptr<FileStream> CreateFileForWriting(const std::string& path,
                                                 AtomicFile::Access access) {
    std::shared_ptr<FileStream> s(new FileStream);
    s->path_ = path;
    if (!s->out_.Open(path, access) && errno == EINVAL)
        ThrowError(kErrFileAccess, "Cannot save to \"" + path +
                                       "\": it is not a regular file (a pipe, device or socket)");
    if (!s->out_.IsOpen()) ThrowFileError("Cannot create a file beside", path);
    return s;
}

FileStream::~FileStream() = default;

void FileStream::SetProgress(Progress progress, long long total) {
    progress_ = std::move(progress);
    total_ = total;
    done_ = 0;
}

void FileStream::WriteBytes(const void* data, std::size_t size) {
    if (!out_.IsOpen()) ThrowError(kErrBadFileMode, "\"" + path_ + "\" is not open for writing");
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t at = 0;
    do {
        const std::size_t n = progress_ ? std::min(size - at, kProgressStep) : size - at;
        if (n && !out_.Write(bytes + at, n)) ThrowFileError("Cannot write", path_);
        at += n;
        if (progress_) {
            done_ += static_cast<long long>(n);
            ReportProgress(progress_, Share());
        }
    } while (at < size);
}

double FileStream::Share() const {
    return total_ > 0 ? std::min(1.0, double(done_) / double(total_)) : 0;
}

std::size_t BinaryStream::ReadBytesInto(void* data, std::size_t size) {
    const ByteArray bytes =
        ReadBytes(static_cast<std::int32_t>(std::min<std::size_t>(size, 0x7FFFFFFF)));
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    return bytes.size();
}

ByteArray FileStream::ReadBytes(std::int32_t count) {
    if (count < 0) ThrowError(kErrInvalidArgument, "A negative number of bytes cannot be read");
    // Never more than the file still holds.
    ByteArray bytes(static_cast<std::size_t>(std::min<long long>(count, remaining_)));
    bytes.resize(ReadBytesInto(bytes.data(), bytes.size()));
    return bytes;
}

std::size_t FileStream::ReadBytesInto(void* data, std::size_t size) {
    if (!file_) ThrowError(kErrBadFileMode, "\"" + path_ + "\" is not open for reading");
    const std::size_t want = static_cast<std::size_t>(std::min<long long>(
        static_cast<long long>(std::min<std::size_t>(size, 0x7FFFFFFF)), remaining_));
    auto* bytes = static_cast<unsigned char*>(data);
    std::size_t got = 0;
    while (got < want) {
        const std::size_t n = progress_ ? std::min(want - got, kProgressStep) : want - got;
        const std::size_t read = std::fread(bytes + got, 1, n, file_.get());
        if (read < n && std::ferror(file_.get())) ThrowFileError("Cannot read", path_);
        got += read;
        remaining_ -= static_cast<long long>(read);
        if (progress_) {
            done_ += static_cast<long long>(read);
            ReportProgress(progress_, Share());
        }
        if (read < n) break;
    }
    return got;
}

void FileStream::Commit() {
    if (!out_.IsOpen()) ThrowError(kErrBadFileMode, "\"" + path_ + "\" is not open for writing");
    if (!out_.Commit()) ThrowFileError("Cannot save", path_);
}
