// Where files go: the folder part of a path, and the folders the XDG base
// directory rules give a user's data and state.
#pragma once

#include <string>

// The folder part of path: "." for a bare name, "/" for a file at the root.
std::string FolderOfPath(const std::string& path);

// $XDG_DATA_HOME, or ~/.local/share (an absolute path; /tmp without HOME).
std::string DataHome();
// $XDG_STATE_HOME, or ~/.local/state.
std::string StateHome();

// Makes the folder at path and those above it that are missing, each
// with mode (before the umask). False, with errno set, when path is
// still no folder afterwards.
bool MakeFolders(const std::string& path, unsigned mode);

// Whether a and b name the same file, by whatever path or link; false
// when either does not exist.
bool IsSameFile(const std::string& a, const std::string& b);
