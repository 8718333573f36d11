// Path helpers, '/' separated.
#pragma once

#include <string>

// FileName inside Folder, with exactly one separator between them.
std::string CombinePath(const std::string& folder, const std::string& fileName);
// The last component of path, extension included.
std::string FileNameOfPath(const std::string& path);
// The text after the last '.', without the dot; empty when there is none.
std::string ExtensionOfFileName(const std::string& fileName);
