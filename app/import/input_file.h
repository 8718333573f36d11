// Reading the files a user brings in: whole, up to a size, with refusals
// that name the file; and whether a file a description names stays inside
// the folder it came with.
#pragma once

#include <cstddef>
#include <string>

// The bytes of the regular file at path. Throws AppError naming the file:
// 53 when it does not exist, 75 when it cannot be read (or is no regular
// file), 321 when it is larger than limit bytes ("is not <kind>: it is
// larger than ...").
std::string ReadInputFile(const std::string& path, std::size_t limit, const std::string& kind);

// Whether file, its links and ".." followed, lies inside folder.
bool InsideFolder(const std::string& file, const std::string& folder);
