#include "song/song_recovery.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "files/atomic_file.h"
#include "files/folders.h"
#include "song/song_file.h"
#include "support/app_error.h"

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// The id in "<kind>-<id><extension>"; "" for other names.
std::string IdOf(const std::string& name, const std::string& kind, const std::string& extension) {
    const std::string prefix = kind + "-";
    if (name.size() <= prefix.size() + extension.size() || name.compare(0, prefix.size(), prefix) ||
        name.compare(name.size() - extension.size(), extension.size(), extension))
        return "";
    const std::string id =
        name.substr(prefix.size(), name.size() - prefix.size() - extension.size());
    return id.find_first_not_of("0123456789abcdef-") == std::string::npos ? id : "";
}

// A session id no other session has had: the process id and 64 random bits.
std::string NewSessionId() {
    std::random_device random;
    const unsigned long long part = (static_cast<unsigned long long>(random()) << 32) ^ random();
    char text[40];
    std::snprintf(text, sizeof text, "%ld-%016llx", long(::getpid()), part);
    return text;
}

}  // namespace

SongRecovery::SongRecovery(std::string folder) : folder_(std::move(folder)), id_(NewSessionId()) {}

SongRecovery::~SongRecovery() = default;

std::string SongRecovery::DefaultFolder() {
    return StateHome() + "/trellon";
}

std::string SongRecovery::Path(const std::string& kind, const std::string& id,
                               const char* extension) const {
    return folder_ + "/" + kind + "-" + id + extension;
}

bool SongRecovery::Begin(std::string* why) {
    if (lock_.Held()) return true;
    if (!MakeFolders(folder_, 0700)) {
        if (why) *why = folder_ + ": " + std::strerror(errno);
        return false;
    }
    lock_ =
        FileLock(Path("session", id_, ".lock"), FileLock::Kind::kExclusive, FileLock::Wait::kNo);
    if (!lock_.Held() && why) *why = folder_ + ": " + std::strerror(errno);
    return lock_.Held();
}

void SongRecovery::Keep(const Song& song, const std::string& songPath) {
    // The song's file as an absolute path: the next start may run elsewhere.
    std::error_code error;
    const std::string absolute =
        songPath.empty() ? "" : std::filesystem::absolute(songPath, error).string();
    AtomicFile path;
    if (!path.Open(Path("autosave", id_, ".path"), AtomicFile::Access::kOwnerOnly) ||
        !path.Write(absolute.data(), absolute.size()) || !path.Commit())
        ThrowError(kErrFileAccess, "Cannot keep the song's file name for recovery in " + folder_ +
                                       ": " + std::strerror(errno));
    WriteSongFile(song, Path("autosave", id_, ".loop"), {}, AtomicFile::Access::kOwnerOnly);
}

void SongRecovery::Forget() {
    ::unlink(Path("autosave", id_, ".loop").c_str());
    ::unlink(Path("autosave", id_, ".path").c_str());
}

void SongRecovery::End() {
    Forget();
    Leave();
}

void SongRecovery::Leave() {
    if (!lock_.Held()) return;
    ::unlink(Path("session", id_, ".lock").c_str());
    lock_.Release();
}

std::vector<SongRecovery::Orphan> SongRecovery::Orphans() const {
    std::vector<Orphan> found;
    std::vector<std::string> locks;
    {
        const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder_.c_str()));
        if (!dir) return found;
        while (const dirent* e = ::readdir(dir.get())) {
            if (std::string id = IdOf(e->d_name, "session", ".lock"); !id.empty())
                locks.push_back(id);
            const std::string id = IdOf(e->d_name, "autosave", ".loop");
            if (id.empty() || id == id_ || FileLock::IsHeld(Path("session", id, ".lock"))) continue;
            Orphan o;
            o.id = id;
            o.autosave = folder_ + "/" + e->d_name;
            std::ifstream in(Path("autosave", id, ".path"), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            o.songPath = text.str();
            struct stat st;
            if (::stat(o.autosave.c_str(), &st) == 0) o.keptAt = st.st_mtime;
            found.push_back(std::move(o));
        }
    }
    // A lock of a session that ended without its autosave (a crash before
    // any edit) is left over.
    for (const std::string& id : locks) {
        const std::string lock = Path("session", id, ".lock");
        if (id != id_ && !FileLock::IsHeld(lock) &&
            ::access(Path("autosave", id, ".loop").c_str(), F_OK) != 0)
            ::unlink(lock.c_str());
    }
    std::sort(found.begin(), found.end(),
              [](const Orphan& a, const Orphan& b) { return a.keptAt > b.keptAt; });
    return found;
}

FileLock SongRecovery::Claim(const Orphan& orphan) const {
    return FileLock(Path("session", orphan.id, ".lock"), FileLock::Kind::kExclusive,
                    FileLock::Wait::kNo);
}

void SongRecovery::Remove(const Orphan& orphan) const {
    ::unlink(orphan.autosave.c_str());
    ::unlink(Path("autosave", orphan.id, ".path").c_str());
    ::unlink(Path("session", orphan.id, ".lock").c_str());
}
