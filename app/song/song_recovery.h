// Keeping the song being edited safe from a crash. While the program runs
// it holds a session lock ("session-<pid>.lock", an flock) in the recovery
// folder and writes the modified song there now and then
// ("autosave-<pid>.loop", with the path of the song's own file beside it
// in "autosave-<pid>.path"). A clean exit removes all three. An autosave
// whose session lock nobody holds was left by a program that ended
// without cleaning up, and can be offered at the next start.
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

    // Claims this process's session; false when the folder cannot be used
    // (the program then runs without recovery).
    bool Begin();
    // Writes song as this session's autosave, with the path of the file it
    // belongs to ("" for a song without one). Throws AppError.
    void Keep(const Song& song, const std::string& songPath);
    // Removes this session's autosave: the song was saved or is gone.
    void Forget();
    // On a clean exit: the autosave and the session lock go.
    void End();
    // On an exit that leaves a modified song unsaved (a signal): the session
    // ends but its autosave stays, to be offered at the next start.
    void Leave();

    struct Orphan {
        std::string autosave;  // the song as it was last kept
        std::string songPath;  // the file it belongs to; "" for none
        std::time_t keptAt = 0;
    };
    // The autosaves of sessions that ended without End, newest first.
    std::vector<Orphan> Orphans() const;
    // Removes an orphan's files.
    void Remove(const Orphan& orphan) const;

  private:
    std::string Path(const std::string& kind, long pid, const char* extension) const;

    std::string folder_;
    FileLock lock_;  // this session's
};
