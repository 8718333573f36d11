#include "import/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "files/regular_file.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "support/text_format.h"

std::string ReadInputFile(const std::string& path, std::size_t limit, const std::string& kind) {
    const std::string name = Quoted(FileNameOfPath(path));
    const FilePtr in = OpenRegularFile(path);
    if (!in && errno == ENOENT)
        ThrowError(kErrFileNotFound, name + " does not exist (" + path + ")");
    if (!in)
        ThrowError(kErrFileAccess, name + " cannot be read: " +
                                       (errno == EINVAL ? "it is not a regular file"
                                                        : std::string(std::strerror(errno))));
    std::string bytes(limit + 1, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in.get()));
    if (std::ferror(in.get()))
        ThrowError(kErrFileAccess, name + " cannot be read: " + std::strerror(errno));
    if (bytes.size() > limit)
        ThrowError(kErrInvalidFileFormat, name + " is not " + kind + ": it is larger than " +
                                              Thousands(static_cast<long long>(limit >> 20)) +
                                              " MB");
    return bytes;
}

bool InsideFolder(const std::string& file, const std::string& folder) {
    std::error_code e1, e2;
    const std::filesystem::path f = std::filesystem::weakly_canonical(file, e1);
    const std::filesystem::path d = std::filesystem::weakly_canonical(folder, e2);
    if (e1 || e2) return false;
    const auto [end, rest] = std::mismatch(d.begin(), d.end(), f.begin(), f.end());
    return end == d.end() && rest != f.end();
}
