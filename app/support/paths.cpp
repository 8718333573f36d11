#include "support/paths.h"

std::string CombinePath(const std::string& folder, const std::string& fileName) {
    if (folder.empty()) return fileName;
    std::size_t end = folder.find_last_not_of('/');
    std::string base = end == std::string::npos ? "" : folder.substr(0, end + 1);
    std::size_t start = fileName.find_first_not_of('/');
    std::string name = start == std::string::npos ? "" : fileName.substr(start);
    return base + "/" + name;
}

std::string FileNameOfPath(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtensionOfFileName(const std::string& fileName) {
    std::size_t dot = fileName.find_last_of('.');
    return dot == std::string::npos ? std::string() : fileName.substr(dot + 1);
}
