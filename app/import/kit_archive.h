// Drum kits packed as one archive (.h2drumkit: a tar, usually gzipped,
// holding a kit's folder with its drumkit.xml and samples), unpacked into a
// folder of their own for as long as they are needed. Only regular files
// are unpacked, only under that folder: an entry naming an absolute path or
// "..", a link or a device is passed over, and the sizes are bounded.
#pragma once

#include <memory>
#include <string>
#include <vector>

class KitArchive {
  public:
    // Unpacks the archive at path into a new folder under the system's
    // temporary folder. Throws AppError naming the file: 53 when it does not
    // exist, 321 when it is no archive or holds no drumkit.xml, 6 when it
    // unpacks to more than limits allow.
    static std::unique_ptr<KitArchive> Unpack(const std::string& path);
    ~KitArchive();
    KitArchive(const KitArchive&) = delete;
    KitArchive& operator=(const KitArchive&) = delete;

    // The kit's description among what was unpacked (the shallowest).
    const std::string& Description() const { return description_; }
    // Entries passed over (links, paths leaving the folder), by name.
    const std::vector<std::string>& Skipped() const { return skipped_; }

  private:
    KitArchive() = default;
    std::string folder_, description_;
    std::vector<std::string> skipped_;
};

// Whether path names such an archive (by its extension, case aside).
bool IsKitArchivePath(const std::string& path);
