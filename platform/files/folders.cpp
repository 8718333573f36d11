#include "files/folders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

std::string FolderOfPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

// The variable's value when it is an absolute path, as the rules ask;
// else the folder under the home folder.
std::string BaseFolder(const char* variable, const char* underHome) {
    if (const char* x = std::getenv(variable); x && *x == '/') return x;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/" + underHome;
}

}  // namespace

std::string DataHome() {
    return BaseFolder("XDG_DATA_HOME", ".local/share");
}

std::string StateHome() {
    return BaseFolder("XDG_STATE_HOME", ".local/state");
}

bool MakeFolders(const std::string& path, unsigned mode) {
    for (std::size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/') ::mkdir(path.substr(0, i).c_str(), mode);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
