#include "com/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "com/ascii_case.h"
#include "files/atomic_file.h"
#include "files/file_lock.h"

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT";
constexpr std::string_view kEndMarker = "; end of registry";

std::vector<std::string_view> SplitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// A value in double quotes. Besides the quote and the backslash, line
// breaks and the other control characters are escaped (\n, \r, \xHH), so
// that every value stays on its line and reads back byte for byte.
std::string Quote(std::string_view s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (u < 0x20 || u == 0x7F) {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads a quoted string at text[*pos] ('"' expected); advances *pos past it.
bool Unquote(std::string_view text, std::size_t* pos, std::string* out) {
    if (*pos >= text.size() || text[*pos] != '"') return false;
    out->clear();
    for (std::size_t i = *pos + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\') {
            if (i + 1 >= text.size()) return false;
            const char e = text[++i];
            if (e == 'n') {
                *out += '\n';
            } else if (e == 'r') {
                *out += '\r';
            } else if (e == 'x') {
                if (i + 2 >= text.size() || HexDigit(text[i + 1]) < 0 || HexDigit(text[i + 2]) < 0)
                    return false;
                *out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
                i += 2;
            } else {
                *out += e;  // \\ and \"
            }
        } else if (c == '"') {
            *pos = i + 1;
            return true;
        } else {
            *out += c;
        }
    }
    return false;
}

std::string ErrnoText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

void MakeParentDirs(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '/') {
            std::string dir = path.substr(0, i);
            ::mkdir(dir.c_str(), 0755);
        }
    }
}

// Reads the whole file; *exists says whether there was one.
HRESULT ReadFile(const std::string& path, std::string* text, bool* exists, std::string* error) {
    text->clear();
    *exists = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return S_OK;
        if (error) *error = ErrnoText("cannot open", path);
        return REGDB_E_READREGDB;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = ErrnoText("cannot read", path);
            ::close(fd);
            return REGDB_E_READREGDB;
        }
        if (n == 0) break;
        text->append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    *exists = true;
    return S_OK;
}

}  // namespace

struct Registry::Key {
    std::string name;
    std::map<std::string, std::unique_ptr<Key>> children;  // by lower-case name
    std::map<std::string, std::pair<std::string, std::string>>
        values;  // lower name -> (name, value)

    Key* Child(std::string_view n) const {
        auto it = children.find(LowerAscii(n));
        return it == children.end() ? nullptr : it->second.get();
    }
    Key* Ensure(std::string_view n) {
        auto& slot = children[LowerAscii(n)];
        if (!slot) {
            slot = std::make_unique<Key>();
            slot->name = std::string(n);
        }
        return slot.get();
    }
};

Registry::Registry() : root_(std::make_unique<Key>()) {
    root_->name = std::string(kRoot);
}
Registry::~Registry() = default;
Registry::Registry(Registry&&) noexcept = default;
Registry& Registry::operator=(Registry&&) noexcept = default;

std::string Registry::DefaultPath() {
    if (const char* p = std::getenv("OVRA_REGISTRY"); p && *p) return p;
    return DataHome() + "/ovra/registry.reg";
}

std::string Registry::SystemPath() {
    if (const char* p = std::getenv("OVRA_SYSTEM_REGISTRY"); p && *p) return p;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = '\0';
        const std::string prefix = FolderOfPath(FolderOfPath(exe));
        // An installed program's prefix has the folder (the install makes
        // it): state under var/lib (/var/lib for /usr); an installation
        // made before the registry moved there keeps it under share.
        const auto isFolder = [](const std::string& folder) {
            struct stat st;
            return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        };
        for (const std::string& folder :
             {(prefix == "/usr" ? std::string() : prefix) + "/var/lib/ovra",
              prefix + "/share/ovra"})
            if (isFolder(folder)) return folder + "/registry.reg";
    }
    return OVRA_INSTALL_STATEDIR "/lib/ovra/registry.reg";
}

Registry::Key* Registry::Find(std::string_view path) const {
    Key* k = root_.get();
    for (std::string_view part : SplitPath(path)) {
        k = k->Child(part);
        if (!k) return nullptr;
    }
    return k;
}

bool Registry::KeyExists(std::string_view path) const {
    return Find(path) != nullptr;
}

bool Registry::GetValue(std::string_view path, std::string_view name, std::string* value) const {
    Key* k = Find(path);
    if (!k) return false;
    auto it = k->values.find(LowerAscii(name));
    if (it == k->values.end()) return false;
    if (value) *value = it->second.second;
    return true;
}

std::vector<std::string> Registry::Subkeys(std::string_view path) const {
    std::vector<std::string> out;
    if (Key* k = Find(path))
        for (const auto& [lower, child] : k->children) out.push_back(child->name);
    return out;
}

void Registry::CreateKey(std::string_view path) {
    Key* k = root_.get();
    for (std::string_view part : SplitPath(path)) k = k->Ensure(part);
}

void Registry::SetValue(std::string_view path, std::string_view name, std::string_view value) {
    CreateKey(path);
    Find(path)->values[LowerAscii(name)] = {std::string(name), std::string(value)};
}

bool Registry::DeleteValue(std::string_view path, std::string_view name) {
    Key* k = Find(path);
    return k && k->values.erase(LowerAscii(name)) > 0;
}

bool Registry::DeleteTree(std::string_view path) {
    auto parts = SplitPath(path);
    if (parts.empty()) return false;
    Key* parent = root_.get();
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        parent = parent->Child(parts[i]);
        if (!parent) return false;
    }
    return parent->children.erase(LowerAscii(parts.back())) > 0;
}

bool Registry::DeleteKeyIfLeaf(std::string_view path) {
    Key* k = Find(path);
    if (!k || !k->children.empty()) return false;
    return DeleteTree(path);
}

std::string Registry::Serialize() const {
    std::string out(kHeader);
    out += "\n";
    std::function<void(const Key&, const std::string&)> walk = [&](const Key& k,
                                                                   const std::string& full) {
        if (&k != root_.get()) {
            out += "\n[" + full + "]\n";
            auto def = k.values.find("");
            if (def != k.values.end()) out += "@=" + Quote(def->second.second) + "\n";
            for (const auto& [lower, nv] : k.values)
                if (!lower.empty()) out += Quote(nv.first) + "=" + Quote(nv.second) + "\n";
        }
        for (const auto& [lower, child] : k.children) walk(*child, full + "\\" + child->name);
    };
    walk(*root_, std::string(kRoot));
    out += "\n";
    out += kEndMarker;
    out += "\n";
    return out;
}

HRESULT Registry::Parse(std::string_view text, Registry* out, std::string* error) {
    Registry reg;
    auto fail = [&](std::size_t line, const std::string& why) {
        if (error) *error = "line " + std::to_string(line) + ": " + why;
        return REGDB_E_INVALIDVALUE;
    };
    // A file that exists is written whole, header and end marker; an
    // empty one was cut, never meant as an empty registry.
    if (text.empty()) return fail(1, "the file is empty (it was cut short)");
    std::size_t pos = 0, lineNo = 0;
    bool sawHeader = false, sawEnd = false;
    std::string current;  // path of the current section below the root
    bool inSection = false;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (sawEnd) {
            if (!line.empty()) return fail(lineNo, "text after the end marker");
            continue;
        }
        if (!sawHeader) {
            if (line != kHeader) return fail(lineNo, "not a registry file (header missing)");
            sawHeader = true;
            continue;
        }
        if (line.empty()) continue;
        if (line == kEndMarker) {
            sawEnd = true;
            continue;
        }
        if (line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return fail(lineNo, "unterminated key name");
            std::string_view full = line.substr(1, line.size() - 2);
            if (full.size() < kRoot.size() ||
                LowerAscii(full.substr(0, kRoot.size())) != LowerAscii(kRoot) ||
                (full.size() > kRoot.size() && full[kRoot.size()] != '\\'))
                return fail(lineNo, "key outside HKEY_CLASSES_ROOT");
            current = std::string(full.substr(std::min(full.size(), kRoot.size() + 1)));
            if (current.empty()) return fail(lineNo, "values on the root key");
            if (SplitPath(current).size() > kMaxKeyDepth)
                return fail(lineNo,
                            "a key nested deeper than " + std::to_string(kMaxKeyDepth) + " levels");
            reg.CreateKey(current);
            inSection = true;
            continue;
        }
        if (!inSection) return fail(lineNo, "value outside a key");
        std::string name, value;
        std::size_t p = 0;
        if (line.front() == '@') {
            p = 1;
        } else if (!Unquote(line, &p, &name)) {
            return fail(lineNo, "malformed value name");
        }
        if (p >= line.size() || line[p] != '=') return fail(lineNo, "'=' expected");
        ++p;
        if (!Unquote(line, &p, &value)) return fail(lineNo, "malformed or non-string value");
        if (p != line.size()) return fail(lineNo, "text after the value");
        reg.SetValue(current, name, value);
    }
    if (!sawHeader) return fail(lineNo, "not a registry file (header missing)");
    if (!sawEnd) return fail(lineNo, "file is truncated (end marker missing)");
    *out = std::move(reg);
    return S_OK;
}

namespace {

// Replaces the registry file at path with reg, whole (the caller holds the lock).
HRESULT WriteRegistryFile(const std::string& path, const Registry& reg, std::string* error) {
    AtomicFile file;
    const std::string text = reg.Serialize();
    if (!file.Open(path) || !file.Write(text.data(), text.size()) || !file.Commit()) {
        if (error) *error = ErrnoText("cannot write", path);
        return REGDB_E_WRITEREGDB;
    }
    return S_OK;
}

}  // namespace

HRESULT ReadRegistry(const std::string& path, Registry* out, std::string* error) {
    // Best effort: a read-only folder still reads.
    const FileLock lock(path + ".lock", FileLock::Kind::kShared, FileLock::Wait::kYes);
    std::string text;
    bool exists = false;
    HRESULT hr = ReadFile(path, &text, &exists, error);
    if (FAILED(hr)) return hr;
    if (!exists) {
        *out = Registry();
        return S_OK;
    }
    hr = Registry::Parse(text, out, error);
    if (FAILED(hr) && error) *error = path + ": " + *error;
    return FAILED(hr) ? REGDB_E_READREGDB : S_OK;
}

HRESULT UpdateRegistry(const std::string& path, const std::function<HRESULT(Registry&)>& change,
                       std::string* error) {
    MakeParentDirs(path);
    const FileLock lock(path + ".lock", FileLock::Kind::kExclusive, FileLock::Wait::kYes);
    if (!lock.Held()) {
        if (error) *error = ErrnoText("cannot lock", path + ".lock");
        return REGDB_E_WRITEREGDB;
    }
    std::string text;
    bool exists = false;
    HRESULT hr = ReadFile(path, &text, &exists, error);
    if (FAILED(hr)) return hr;
    Registry reg;
    if (exists) hr = Registry::Parse(text, &reg, error);
    if (FAILED(hr)) {
        if (error) *error = path + ": " + *error;
        return REGDB_E_READREGDB;
    }
    hr = change(reg);
    if (FAILED(hr)) return hr;

    return WriteRegistryFile(path, reg, error);
}

HRESULT RepairRegistry(const std::string& path, std::string* keptAs, std::string* error) {
    keptAs->clear();
    MakeParentDirs(path);
    const FileLock lock(path + ".lock", FileLock::Kind::kExclusive, FileLock::Wait::kYes);
    if (!lock.Held()) {
        if (error) *error = ErrnoText("cannot lock", path + ".lock");
        return REGDB_E_WRITEREGDB;
    }
    std::string text;
    bool exists = false;
    HRESULT hr = ReadFile(path, &text, &exists, error);
    if (FAILED(hr)) return hr;
    Registry reg;
    if (!exists || SUCCEEDED(Registry::Parse(text, &reg, nullptr))) return S_OK;
    // The damaged file is kept beside the new one, for whoever wants to look.
    for (int n = 1;; ++n) {
        *keptAs = path + ".damaged" + (n == 1 ? "" : "." + std::to_string(n));
        struct stat st;
        if (::lstat(keptAs->c_str(), &st) != 0) break;
    }
    if (::rename(path.c_str(), keptAs->c_str()) != 0) {
        if (error) *error = ErrnoText("cannot move aside", path);
        keptAs->clear();
        return REGDB_E_WRITEREGDB;
    }
    return WriteRegistryFile(path, Registry(), error);
}
