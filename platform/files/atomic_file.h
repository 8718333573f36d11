// Replacing a file whole, so that readers and a crash see the old file or
// the new one and never a mix: the bytes go to a temporary file in the
// same folder, which Commit flushes, syncs and renames over the target,
// and then the folder is synced. A file dropped without Commit removes its
// temporary file; one left by a process that was killed is removed by the
// next save into that folder. The registry and the song files are saved
// this way.
#pragma once

#include <cstdio>
#include <string>

#include "files/folders.h"

class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // Who may read the file.
    enum class Access { kAsUsual, kOwnerOnly };
    // Starts replacing the file at path. The new file gets the permissions
    // of the one it replaces; a new one those the process's umask leaves
    // (0666 less the umask); with kOwnerOnly, 0600 either way. When path is
    // a symbolic link, the file it leads to is replaced and the link stays;
    // a target that exists but is no regular file is refused (EISDIR,
    // EINVAL). False with errno set.
    bool Open(const std::string& path, Access access = Access::kAsUsual);
    // Appends size bytes. False with errno set.
    bool Write(const void* data, std::size_t size);
    // Makes what was written the file at the target path. False with errno
    // set; the target is then as it was.
    bool Commit();

    bool IsOpen() const { return file_ != nullptr; }
    // The temporary file's descriptor, for writers that take one (after
    // Flush, and with nothing written through Write since).
    int Descriptor() const;
    // Writes out what Write buffered. False with errno set.
    bool Flush();
    // The file being replaced: path, or where its links lead.
    const std::string& Target() const { return target_; }

    // The temporary files of saves into folder are named
    // ".<name>.tmp-<pid>-XXXXXX", after the file and the saving process.
    static std::string TemporaryPattern(const std::string& target);

    // The process's umask, read without changing it.
    static unsigned Umask();

  private:
    void Discard();

    std::FILE* file_ = nullptr;
    std::string target_;
    std::string temporary_;
};
