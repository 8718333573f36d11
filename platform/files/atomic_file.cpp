#include "files/atomic_file.h"

#include "files/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// The pid in a temporary name ".<name>.tmp-<pid>-XXXXXX"; -1 for other names.
long TemporaryPid(const std::string& name) {
    const std::size_t tmp = name.rfind(".tmp-");
    if (name.empty() || name[0] != '.' || tmp == std::string::npos || tmp == 0) return -1;
    const std::size_t dash = name.find('-', tmp + 5);
    if (dash == std::string::npos || name.size() - dash - 1 != 6) return -1;
    const std::string digits = name.substr(tmp + 5, dash - tmp - 5);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::strtol(digits.c_str(), nullptr, 10);
}

// When the process pid started, in seconds since the epoch; -1 when no
// such process exists (or its start cannot be read).
double ProcessStart(long pid) {
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return -1;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Field 22, counted after the command name in parentheses.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    std::ifstream system("/proc/stat");
    std::string key;
    double bootTime = 0;
    while (system >> key)
        if (key == "btime") {
            system >> bootTime;
            break;
        }
    return bootTime + std::strtod(field.c_str(), nullptr) / double(::sysconf(_SC_CLK_TCK));
}

// Removes the temporary files in folder that a save left when its process
// was killed: names of our own pattern whose process is gone, or whose
// process id now belongs to a process started after the file was written.
void RemoveAbandonedTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* e = ::readdir(dir)) {
        const long pid = TemporaryPid(e->d_name);
        if (pid <= 0 || pid == ::getpid()) continue;
        const std::string path = folder + "/" + e->d_name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const double started = ProcessStart(pid);
        if (started < 0 || started > double(st.st_mtime) + 1) ::unlink(path.c_str());
    }
    ::closedir(dir);
}

// The file a save to path writes: path itself, or, when path is a
// symbolic link, the file it leads to (through any chain of links, relative
// ones from the link's folder), so that the link stays a link. False with
// errno set for a loop of links.
bool ResolveLinks(const std::string& path, std::string* target) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = p;
            return true;
        }
        std::string link(std::size_t(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n < 0) return false;
        link.resize(std::size_t(n));
        p = link.empty() || link[0] == '/' ? link : FolderOfPath(p) + "/" + link;
    }
    errno = ELOOP;
    return false;
}

}  // namespace

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

unsigned AtomicFile::Umask() {
    // Linux says it in the process's status; reading it there leaves the
    // mask alone for the other threads.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return unsigned(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 022;
}

bool AtomicFile::Open(const std::string& path, Access access) {
    Discard();
    // Through a link, the file it names is replaced and the link stays.
    if (!ResolveLinks(path, &target_)) return false;
    struct stat st;
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // A folder, a pipe or a device is no file to replace.
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    RemoveAbandonedTemporaries(FolderOfPath(target_));
    std::string pattern = TemporaryPattern(target_);
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return false;
    temporary_ = pattern;
    ::fchmod(fd, access == Access::kOwnerOnly ? 0600
                 : exists                     ? (st.st_mode & 07777)
                                              : (0666 & ~Umask()));
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

int AtomicFile::Descriptor() const {
    return file_ ? ::fileno(file_) : -1;
}

bool AtomicFile::Flush() {
    if (!file_) {
        errno = EBADF;
        return false;
    }
    return std::fflush(file_) == 0;
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
