#include "com/registrar.h"

#include <memory>
#include <vector>

#include "com/ascii_case.h"

namespace {

struct Token {
    enum Kind { kWord, kString, kOpen, kClose, kEquals, kEnd } kind;
    std::string text;
};

struct ScriptKey {
    std::string name;
    bool noRemove = false, forceRemove = false, remove = false;
    bool hasDefault = false;
    std::string defaultValue;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<ScriptKey> children;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool Tokenize(std::string_view s, std::vector<Token>* out, std::string* error) {
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (IsSpace(c)) {
            ++i;
        } else if ((c == '{' || c == '}') && (i + 1 == s.size() || IsSpace(s[i + 1]))) {
            // A lone brace opens or closes a block; "{GUID}" is a name.
            out->push_back({c == '{' ? Token::kOpen : Token::kClose, std::string(1, c)});
            ++i;
        } else if (c == '=') {
            out->push_back({Token::kEquals, "="});
            ++i;
        } else if (c == '\'') {
            std::string text;
            ++i;
            for (;;) {
                if (i >= s.size()) {
                    *error = "unterminated string";
                    return false;
                }
                if (s[i] == '\'') {
                    if (i + 1 < s.size() && s[i + 1] == '\'') {
                        text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += s[i++];
            }
            out->push_back({Token::kString, text});
        } else {
            std::size_t start = i;
            while (i < s.size() && !IsSpace(s[i]) && s[i] != '=' && s[i] != '\'') ++i;
            out->push_back({Token::kWord, std::string(s.substr(start, i - start))});
        }
    }
    out->push_back({Token::kEnd, ""});
    return true;
}

class Parser {
  public:
    Parser(const std::vector<Token>& t, std::string* error) : t_(t), error_(error) {}

    bool Script(std::vector<ScriptKey>* roots) {
        while (t_[i_].kind != Token::kEnd) {
            if (t_[i_].kind != Token::kWord ||
                !(EqualsIgnoringCase(t_[i_].text, "HKCR") ||
                  EqualsIgnoringCase(t_[i_].text, "HKEY_CLASSES_ROOT")))
                return Fail("only HKCR may be registered");
            ++i_;
            ScriptKey root;
            if (!Block(&root, 0)) return false;
            roots->push_back(std::move(root));
        }
        return true;
    }

  private:
    bool Fail(const std::string& why) {
        *error_ =
            why + (t_[i_].kind == Token::kEnd ? " at the end" : " near '" + t_[i_].text + "'");
        return false;
    }

    // The braces of a key at depth below the root (0 for HKCR itself).
    bool Block(ScriptKey* key, std::size_t depth) {
        if (t_[i_].kind != Token::kOpen) return Fail("'{' expected");
        ++i_;
        while (t_[i_].kind != Token::kClose) {
            if (t_[i_].kind == Token::kEnd) return Fail("'}' expected");
            if (t_[i_].kind == Token::kWord && EqualsIgnoringCase(t_[i_].text, "val")) {
                ++i_;
                std::string name, value;
                if (!Name(&name) || !StringValue(&value)) return false;
                key->values.emplace_back(name, value);
                continue;
            }
            ScriptKey child;
            if (!Key(&child, depth + 1)) return false;
            key->children.push_back(std::move(child));
        }
        ++i_;
        return true;
    }

    bool Key(ScriptKey* key, std::size_t depth) {
        if (depth > Registry::kMaxKeyDepth)
            return Fail("keys nested deeper than " + std::to_string(Registry::kMaxKeyDepth) +
                        " levels");
        for (;;) {
            if (t_[i_].kind != Token::kWord) break;
            if (EqualsIgnoringCase(t_[i_].text, "NoRemove"))
                key->noRemove = true;
            else if (EqualsIgnoringCase(t_[i_].text, "ForceRemove"))
                key->forceRemove = true;
            else if (EqualsIgnoringCase(t_[i_].text, "Delete"))
                key->remove = true;
            else
                break;
            ++i_;
        }
        if (!Name(&key->name)) return false;
        if (t_[i_].kind == Token::kEquals) {
            if (!StringValue(&key->defaultValue)) return false;
            key->hasDefault = true;
        }
        if (t_[i_].kind == Token::kOpen) return Block(key, depth);
        return true;
    }

    bool Name(std::string* name) {
        if (t_[i_].kind != Token::kWord && t_[i_].kind != Token::kString)
            return Fail("key or value name expected");
        *name = t_[i_++].text;
        if (name->empty() || name->find('\\') != std::string::npos) return Fail("invalid name");
        // A key name stands on a line of its own in the registry file.
        for (char c : *name)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                return Fail("a control character in a name");
        return true;
    }

    // "= s 'text'"
    bool StringValue(std::string* value) {
        if (t_[i_].kind != Token::kEquals) return Fail("'=' expected");
        ++i_;
        if (t_[i_].kind != Token::kWord || !EqualsIgnoringCase(t_[i_].text, "s"))
            return Fail("only string values (s) are supported");
        ++i_;
        if (t_[i_].kind != Token::kString) return Fail("quoted string expected");
        *value = t_[i_++].text;
        return true;
    }

    const std::vector<Token>& t_;
    std::string* error_;
    std::size_t i_ = 0;
};

bool Expand(std::string_view s, const ScriptReplacements& r, std::string* out, std::string* error) {
    out->clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            *out += s[i];
            continue;
        }
        std::size_t end = s.find('%', i + 1);
        if (end == std::string_view::npos) {
            *error = "unterminated %variable%";
            return false;
        }
        std::string name(s.substr(i + 1, end - i - 1));
        if (name.empty()) {
            *out += '%';
        } else {
            auto it = r.find(name);
            if (it == r.end()) {
                *error = "unknown variable %" + name + "%";
                return false;
            }
            // Values land inside '...' strings, where a quote is doubled.
            for (char c : it->second) *out += (c == '\'' ? std::string("''") : std::string(1, c));
        }
        i = end;
    }
    return true;
}

void Register(const ScriptKey& k, const std::string& path, Registry& reg) {
    std::string full = path.empty() ? k.name : path + "\\" + k.name;
    if (k.remove) {
        reg.DeleteTree(full);
        return;
    }
    if (k.forceRemove) reg.DeleteTree(full);
    reg.CreateKey(full);
    if (k.hasDefault) reg.SetValue(full, "", k.defaultValue);
    for (const auto& [name, value] : k.values) reg.SetValue(full, name, value);
    for (const ScriptKey& c : k.children) Register(c, full, reg);
}

void Unregister(const ScriptKey& k, const std::string& path, Registry& reg) {
    std::string full = path.empty() ? k.name : path + "\\" + k.name;
    if (k.remove || !reg.KeyExists(full)) return;
    if (k.forceRemove && !k.noRemove) {
        reg.DeleteTree(full);
        return;
    }
    for (const ScriptKey& c : k.children) Unregister(c, full, reg);
    for (const auto& [name, value] : k.values) reg.DeleteValue(full, name);
    if (!k.noRemove) reg.DeleteKeyIfLeaf(full);
}

}  // namespace

HRESULT RunRegistrarScript(std::string_view script, const ScriptReplacements& replacements,
                           bool registering, Registry& reg, std::string* error) {
    std::string local;
    std::string* err = error ? error : &local;
    std::string text;
    if (!Expand(script, replacements, &text, err)) return E_INVALIDARG;
    std::vector<Token> tokens;
    if (!Tokenize(text, &tokens, err)) return E_INVALIDARG;
    std::vector<ScriptKey> roots;
    if (!Parser(tokens, err).Script(&roots)) return E_INVALIDARG;
    for (const ScriptKey& root : roots) {
        for (const ScriptKey& k : root.children) {
            if (registering)
                Register(k, "", reg);
            else
                Unregister(k, "", reg);
        }
    }
    return S_OK;
}
