#include "import/kit_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "support/app_error.h"
#include "support/paths.h"
#include "support/text_format.h"

namespace {

constexpr std::int64_t kMaxUnpacked = 1ll << 30;  // a kit of samples: far less
constexpr int kMaxEntries = 10000;

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};

// Whether name stays under the folder it is unpacked into.
bool SafeName(const std::string& name) {
    if (name.empty() || name[0] == '/') return false;
    for (const auto& part : std::filesystem::path(name))
        if (part == "..") return false;
    return true;
}

}  // namespace

bool IsKitArchivePath(const std::string& path) {
    const std::string end = ".h2drumkit";
    if (path.size() < end.size()) return false;
    std::string tail = path.substr(path.size() - end.size());
    for (char& c : tail) c = char(std::tolower((unsigned char)c));
    return tail == end;
}

KitArchive::~KitArchive() {
    std::error_code e;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, e);
}

namespace {

// libarchive's word on what failed; it gives none for some failures.
std::string ReasonOf(archive* a) {
    const char* reason = archive_error_string(a);
    return reason ? reason : "no reason given";
}

}  // namespace

std::unique_ptr<KitArchive> KitArchive::Unpack(const std::string& path) {
    const std::string name = Quoted(FileNameOfPath(path));
    std::error_code e;
    if (!std::filesystem::exists(path, e))
        ThrowError(kErrFileNotFound, name + " does not exist (" + path + ")");
    std::unique_ptr<archive, ArchiveCloser> in(archive_read_new());
    if (!in) ThrowError(kErrOutOfMemory, "Out of memory");
    archive_read_support_filter_all(in.get());
    archive_read_support_format_tar(in.get());
    archive_read_support_format_zip(in.get());
    if (archive_read_open_filename(in.get(), path.c_str(), 1 << 16) != ARCHIVE_OK)
        ThrowError(kErrInvalidFileFormat,
                   name + " is not a drum kit archive: " + ReasonOf(in.get()));

    std::unique_ptr<KitArchive> kit(new KitArchive);
    std::string pattern = (std::filesystem::temp_directory_path() / "trellon-kit-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        ThrowError(kErrFileAccess,
                   "Cannot make a folder to unpack " + name + " into: " + std::strerror(errno));
    kit->folder_ = pattern;
    std::int64_t total = 0;
    int entries = 0;
    std::size_t shallowest = ~std::size_t{0};
    std::vector<char> buffer(1 << 16);
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN)
            ThrowError(kErrInvalidFileFormat,
                       name + " is not a drum kit archive: " + ReasonOf(in.get()));
        if (++entries > kMaxEntries)
            ThrowOverflow(name + " holds more than " + Thousands(kMaxEntries) + " files");
        const char* raw = archive_entry_pathname(entry);
        const std::string entryName = raw ? raw : "";
        const auto type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) continue;
        if (type != AE_IFREG || archive_entry_hardlink(entry) || !SafeName(entryName)) {
            kit->skipped_.push_back(entryName);
            continue;
        }
        const std::filesystem::path target = std::filesystem::path(kit->folder_) / entryName;
        std::filesystem::create_directories(target.parent_path(), e);
        const int fd =
            ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            kit->skipped_.push_back(entryName);
            continue;
        }
        bool written = true;
        for (;;) {
            const la_ssize_t n = archive_read_data(in.get(), buffer.data(), buffer.size());
            if (n == 0) break;
            if (n < 0) {
                ::close(fd);
                ThrowError(kErrInvalidFileFormat, name + " is damaged: " + ReasonOf(in.get()));
            }
            total += n;
            if (total > kMaxUnpacked) {
                ::close(fd);
                ThrowOverflow(name + " unpacks to more than 1 GB, more than any drum kit");
            }
            written = written && ::write(fd, buffer.data(), std::size_t(n)) == n;
        }
        if (::close(fd) != 0 || !written)
            ThrowError(kErrFileAccess, "Cannot unpack " + name + ": " + std::strerror(errno));
        if (target.filename() == "drumkit.xml") {
            const std::size_t depth = std::size_t(std::distance(
                std::filesystem::path(entryName).begin(), std::filesystem::path(entryName).end()));
            if (depth < shallowest) {
                shallowest = depth;
                kit->description_ = target.string();
            }
        }
    }
    if (kit->description_.empty())
        ThrowError(kErrInvalidFileFormat,
                   name + " is not a drum kit archive: it holds no drumkit.xml");
    return kit;
}
