// Keeping the song being edited safe from a crash. Every run of the
// program is a session with an id of its own (the process id and a random
// part, so that a later process with the same number is another session);
// while it runs it holds a lock on "session-<id>.lock" in the recovery
// folder and writes the modified song there now and then
// ("autosave-<id>.loop", with the path of the song's own file in
// "autosave-<id>.path"). A clean exit removes all three. An autosave whose
// session lock nobody holds was left by a program that ended without
// cleaning up (a crash, a signal, a power cut), and is offered at the next
// start: it stays until the user has answered for it. The folder and the
// files in it are the user's alone (0700, 0600), whatever the umask.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "files/file_lock.h"
#include "song/song.h"

class SongRecovery {
  public:
    // Keeps its files in folder (made when missing).
    explicit SongRecovery(std::string folder);
    ~SongRecovery();
    SongRecovery(const SongRecovery&) = delete;
    SongRecovery& operator=(const SongRecovery&) = delete;

    // $XDG_STATE_HOME/trellon, or ~/.local/state/trellon.
    static std::string DefaultFolder();
    const std::string& Folder() const { return folder_; }

    // Claims this session; false, with why, when the folder cannot be used
    // (the program then runs without recovery, and says so).
    bool Begin(std::string* why = nullptr);
    // Writes song as this session's autosave, with the file it belongs to
    // ("" for a song without one; made absolute). Throws AppError; what
    // was kept before stays then.
    void Keep(const Song& song, const std::string& songPath);
    // Removes this session's autosave: the song was saved or is gone.
    void Forget();
    // On a clean exit: the autosave and the session lock go.
    void End();
    // On an exit that leaves a modified song unsaved (a signal): the session
    // ends but its autosave stays, to be offered at the next start.
    void Leave();

    struct Orphan {
        std::string id;        // the session that left it
        std::string autosave;  // the song as it was last kept
        std::string songPath;  // the file it belongs to; "" for none
        std::time_t keptAt = 0;
    };
    // The autosaves of sessions that ended without End, newest first.
    // Session locks left without an autosave are removed on the way.
    std::vector<Orphan> Orphans() const;
    // Takes the orphan's session lock while the user is asked about it, so
    // that no other program offers it too; not held when another does.
    FileLock Claim(const Orphan& orphan) const;
    // Removes an orphan's files.
    void Remove(const Orphan& orphan) const;

  private:
    std::string Path(const std::string& kind, const std::string& id, const char* extension) const;

    std::string folder_;
    std::string id_;  // this session's
    FileLock lock_;
};
