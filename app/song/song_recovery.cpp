#include "song/song_recovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "files/atomic_file.h"
#include "files/folders.h"
#include "song/song_file.h"

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// The pid in "autosave-<pid>.loop"; -1 for other names.
long AutosavePid(const std::string& name) {
    const std::string prefix = "autosave-", suffix = ".loop";
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix))
        return -1;
    const std::string digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::strtol(digits.c_str(), nullptr, 10);
}

}  // namespace

SongRecovery::SongRecovery(std::string folder) : folder_(std::move(folder)) {}

SongRecovery::~SongRecovery() = default;

std::string SongRecovery::DefaultFolder() {
    return StateHome() + "/trellon";
}

std::string SongRecovery::Path(const std::string& kind, long pid, const char* extension) const {
    return folder_ + "/" + kind + "-" + std::to_string(pid) + extension;
}

bool SongRecovery::Begin() {
    MakeFolders(folder_, 0700);
    if (lock_.Held()) return true;
    lock_ = FileLock(Path("session", ::getpid(), ".lock"), FileLock::Kind::kExclusive,
                     FileLock::Wait::kNo);
    return lock_.Held();
}

void SongRecovery::Keep(const Song& song, const std::string& songPath) {
    WriteSongFile(song, Path("autosave", ::getpid(), ".loop"));
    AtomicFile path;
    if (path.Open(Path("autosave", ::getpid(), ".path"))) {
        path.Write(songPath.data(), songPath.size());
        path.Commit();
    }
}

void SongRecovery::Forget() {
    ::unlink(Path("autosave", ::getpid(), ".loop").c_str());
    ::unlink(Path("autosave", ::getpid(), ".path").c_str());
}

void SongRecovery::End() {
    Forget();
    Leave();
}

void SongRecovery::Leave() {
    if (!lock_.Held()) return;
    ::unlink(Path("session", ::getpid(), ".lock").c_str());
    lock_.Release();
}

std::vector<SongRecovery::Orphan> SongRecovery::Orphans() const {
    std::vector<Orphan> found;
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder_.c_str()));
    if (!dir) return found;
    while (const dirent* e = ::readdir(dir.get())) {
        const long pid = AutosavePid(e->d_name);
        if (pid < 0 || pid == ::getpid() || FileLock::IsHeld(Path("session", pid, ".lock")))
            continue;
        Orphan o;
        o.autosave = folder_ + "/" + e->d_name;
        std::ifstream in(Path("autosave", pid, ".path"), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        o.songPath = text.str();
        struct stat st;
        if (::stat(o.autosave.c_str(), &st) == 0) o.keptAt = st.st_mtime;
        found.push_back(std::move(o));
    }
    std::sort(found.begin(), found.end(),
              [](const Orphan& a, const Orphan& b) { return a.keptAt > b.keptAt; });
    return found;
}

void SongRecovery::Remove(const Orphan& orphan) const {
    const long pid = AutosavePid(orphan.autosave.substr(orphan.autosave.find_last_of('/') + 1));
    ::unlink(orphan.autosave.c_str());
    if (pid < 0) return;
    ::unlink(Path("autosave", pid, ".path").c_str());
    ::unlink(Path("session", pid, ".lock").c_str());
}
