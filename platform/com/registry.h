// HKEY_CLASSES_ROOT kept as a text file in the .reg format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\CLSID\{...}]
//   @="Wav Class"
//   "AppID"="{...}"
//
// Per user by default ($XDG_DATA_HOME/ovra/registry.reg, or
// ~/.local/share/ovra/registry.reg); OVRA_REGISTRY names another file. Every
// change is made under a lock on "<file>.lock", written to a temporary file
// and renamed over the old one, so readers and concurrent writers never see
// a half-written registry. Values are quoted with the .reg escapes (\\ and
// \"), and line breaks and other control characters as \n, \r and \xHH. The file ends with a marker
// line, so a truncated file is recognised and refused rather than taken for a smaller registry.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "com/hresult.h"

class Registry {
  public:
    Registry();
    ~Registry();
    Registry(Registry&&) noexcept;
    Registry& operator=(Registry&&) noexcept;

    // The per-user file this process uses (and registration writes).
    static std::string DefaultPath();
    // The machine-wide file, read after the per-user one: OVRA_SYSTEM_REGISTRY,
    // else var/lib/ovra/registry.reg of the running program's prefix
    // (<prefix>/bin -> <prefix>/var/lib, /var/lib for /usr; share/ovra of
    // an older installation) when that prefix has the
    // folder, else the one of the prefix the runtime was built for.
    static std::string SystemPath();

    // Parses the text of a registry file; on failure *error says where.
    static HRESULT Parse(std::string_view text, Registry* out, std::string* error);
    std::string Serialize() const;

    // Keys nest at most this deep below the root, as in the registry the
    // format comes from. A file or script with deeper keys is refused, so
    // that nothing that walks the tree can run out of stack on it.
    static constexpr std::size_t kMaxKeyDepth = 512;

    // Key paths are relative to HKEY_CLASSES_ROOT, separated by '\', and
    // compared without regard to case. The value name "" is the default value.
    bool KeyExists(std::string_view path) const;
    bool GetValue(std::string_view path, std::string_view name, std::string* value) const;
    std::vector<std::string> Subkeys(std::string_view path) const;
    void CreateKey(std::string_view path);
    void SetValue(std::string_view path, std::string_view name, std::string_view value);
    bool DeleteValue(std::string_view path, std::string_view name);
    // Deletes a key with everything below it.
    bool DeleteTree(std::string_view path);
    // Deletes a key (and its values) only when it has no subkeys.
    bool DeleteKeyIfLeaf(std::string_view path);

  private:
    struct Key;
    Key* Find(std::string_view path) const;
    std::unique_ptr<Key> root_;
};

// Reads the registry file at path. A missing file is an empty registry; a
// file that is empty or does not parse is damaged, and *error names the
// file and the line.
HRESULT ReadRegistry(const std::string& path, Registry* out, std::string* error);

// Applies change to the registry file at path under its lock: the current
// contents are read, changed and written back whole. A file that cannot be
// read or parsed is left as it is and the update fails.
HRESULT UpdateRegistry(const std::string& path, const std::function<HRESULT(Registry&)>& change,
                       std::string* error);

// Makes a damaged registry file at path an empty one, deliberately: the
// damaged file is moved to "<path>.damaged" (then ".damaged.2", ...), named
// in *keptAs. A registry that reads, or none, is left alone (*keptAs empty).
HRESULT RepairRegistry(const std::string& path, std::string* keptAs, std::string* error);
