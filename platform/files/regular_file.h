// Opening a file for reading only when it is a regular file: a FIFO, a
// device or a folder given where a file belongs is refused at once instead
// of blocking the reader or feeding it endless bytes.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The file at path opened "rb", or null with errno set (EINVAL for what is
// not a regular file). The open itself never blocks.
FilePtr OpenRegularFile(const std::string& path);
