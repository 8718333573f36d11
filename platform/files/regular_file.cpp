#include "files/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

FilePtr OpenRegularFile(const std::string& path) {
    // O_NONBLOCK so that opening a FIFO with no writer returns at once.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat st;
    int failure = 0;
    if (::fstat(fd, &st) != 0)
        failure = errno;
    else if (!S_ISREG(st.st_mode))
        failure = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (failure) {
        ::close(fd);
        errno = failure;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) ::close(fd);
    return FilePtr(f);
}
