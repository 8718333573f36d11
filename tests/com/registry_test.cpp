// The registry file, its locking, and registration scripts.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "com/registrar.h"
#include "com/registry.h"
#include "common/test_support.h"

TEST(Registry, RoundTripsKeysAndEscapedValuesIgnoringCase) {
    Registry reg;
    reg.SetValue("CLSID\\{A}\\InprocServer32", "", "/opt/lib \"quoted\" \\ back.so");
    reg.SetValue("CLSID\\{A}\\InprocServer32", "ThreadingModel", "Both");
    reg.CreateKey("CLSID\\{A}\\Programmable");
    std::string text = reg.Serialize();
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]"), std::string::npos);
    EXPECT_NE(text.find("\"ThreadingModel\"=\"Both\""), std::string::npos);

    Registry back;
    std::string error;
    ASSERT_EQ(Registry::Parse(text, &back, &error), S_OK) << error;
    std::string value;
    ASSERT_TRUE(back.GetValue("clsid\\{a}\\INPROCSERVER32", "", &value));
    EXPECT_EQ(value, "/opt/lib \"quoted\" \\ back.so");
    ASSERT_TRUE(back.GetValue("CLSID\\{A}\\InprocServer32", "threadingmodel", &value));
    EXPECT_EQ(value, "Both");
    EXPECT_TRUE(back.KeyExists("CLSID\\{A}\\Programmable"));
    EXPECT_EQ(back.Serialize(), text);
}

TEST(Registry, EveryByteOfAValueStaysOnItsLineAndReadsBack) {
    std::string awkward = "a\nb\r\nc\"d\\e\tf\x01\x7F\\n'g' [h] ; i = \"j\" ";
    awkward += std::string(1, '\0') + "\xC3\xA9\xFF end\\";
    Registry reg;
    reg.SetValue("CLSID\\{A}\\InprocServer32", "", awkward);
    reg.SetValue("CLSID\\{A}", "na\nme\"", awkward);
    const std::string text = reg.Serialize();
    // One line per key and value: no value breaks its line.
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1, ++lines)
        EXPECT_NE(std::string("W[@\";\n").find(text[at]), std::string::npos) << text.substr(at);
    EXPECT_EQ(lines, 11u) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);
    Registry back;
    std::string error, value;
    ASSERT_EQ(Registry::Parse(text, &back, &error), S_OK) << error;
    ASSERT_TRUE(back.GetValue("CLSID\\{A}\\InprocServer32", "", &value));
    EXPECT_EQ(value, awkward);
    ASSERT_TRUE(back.GetValue("CLSID\\{A}", "na\nme\"", &value));
    EXPECT_EQ(value, awkward);
    EXPECT_EQ(back.Serialize(), text);
    // Files written before control characters were escaped read as they did.
    ASSERT_EQ(Registry::Parse("Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\K]\n"
                              "@=\"a\\\\b \\\"c\\\"\"\n; end of registry\n",
                              &back, &error),
              S_OK)
        << error;
    ASSERT_TRUE(back.GetValue("K", "", &value));
    EXPECT_EQ(value, "a\\b \"c\"");
    // An escape cut short is damage, not a value.
    EXPECT_EQ(Registry::Parse("Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\K]\n"
                              "@=\"a\\x4\"\n; end of registry\n",
                              &back, &error),
              REGDB_E_INVALIDVALUE);
}

TEST(Registry, RefusesTruncatedOrGarbledFilesAndNeverOverwritesThem) {
    TempDir dir;
    std::string path = dir / "registry.reg";
    auto add = [](const char* key) {
        return [key](Registry& r) {
            r.SetValue(key, "", "value");
            return S_OK;
        };
    };
    std::string error;
    ASSERT_EQ(UpdateRegistry(path, add("One"), &error), S_OK) << error;
    ASSERT_EQ(UpdateRegistry(path, add("Two"), &error), S_OK) << error;
    const std::string good = ReadText(path);

    const std::string damaged[] = {
        good.substr(0, good.size() / 2),      // cut mid-way
        good.substr(0, good.rfind("; end")),  // cut at a line boundary
        "garbage\n" + good,                   // not a registry file
        good.substr(0, good.find("@=")) + "@=dword:1\n; end of registry\n",  // foreign value type
        good + "[HKEY_LOCAL_MACHINE\\X]\n",                                  // text after the end
        "",                                                                  // cut to nothing
        // A key deeper than any tree walk may go (one path of 513 levels).
        good.substr(0, good.rfind("; end")) + "[HKEY_CLASSES_ROOT" +
            [] {
                std::string deep;
                for (std::size_t i = 0; i <= Registry::kMaxKeyDepth; ++i) deep += "\\k";
                return deep;
            }() +
            "]\n; end of registry\n",
    };
    for (const std::string& text : damaged) {
        WriteText(path, text);
        Registry reg;
        EXPECT_EQ(ReadRegistry(path, &reg, &error), REGDB_E_READREGDB) << text;
        // The file and the line are named.
        EXPECT_EQ(error.rfind(path + ": line ", 0), 0u) << error;
        EXPECT_EQ(UpdateRegistry(path, add("Three"), &error), REGDB_E_READREGDB);
        EXPECT_EQ(ReadText(path), text) << "a damaged registry must be left as it was";
    }

    // Repair moves the damaged file aside, keeps it, and starts afresh.
    WriteText(path, "");
    std::string keptAs;
    ASSERT_EQ(RepairRegistry(path, &keptAs, &error), S_OK) << error;
    EXPECT_EQ(keptAs, path + ".damaged");
    EXPECT_EQ(ReadText(keptAs), "");
    Registry fresh;
    EXPECT_EQ(ReadRegistry(path, &fresh, &error), S_OK) << error;
    ASSERT_EQ(UpdateRegistry(path, add("Four"), &error), S_OK) << error;
    // A registry that reads is no case for repair.
    const std::string sound = ReadText(path);
    ASSERT_EQ(RepairRegistry(path, &keptAs, &error), S_OK);
    EXPECT_TRUE(keptAs.empty());
    EXPECT_EQ(ReadText(path), sound);

    // A missing file is an empty registry.
    Registry empty;
    EXPECT_EQ(ReadRegistry(dir / "none.reg", &empty, &error), S_OK);
    EXPECT_TRUE(empty.Subkeys("").empty());
}

TEST(Registry, ConcurrentWritersFromTwoProcessesKeepEveryKey) {
    TempDir dir;
    std::string path = dir / "registry.reg";
    constexpr int kEach = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            for (int i = 0; i < kEach; ++i) {
                std::string key = "Writer" + std::to_string(c) + "\\Key" + std::to_string(i);
                HRESULT hr = UpdateRegistry(
                    path,
                    [&](Registry& r) {
                        r.SetValue(key, "", "x");
                        return S_OK;
                    },
                    nullptr);
                if (FAILED(hr)) ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Registry reg;
    std::string error;
    ASSERT_EQ(ReadRegistry(path, &reg, &error), S_OK) << error;
    EXPECT_EQ(reg.Subkeys("Writer0").size(), static_cast<std::size_t>(kEach));
    EXPECT_EQ(reg.Subkeys("Writer1").size(), static_cast<std::size_t>(kEach));
}

namespace {
const char kScript[] = R"(
HKCR
{
    Test.Thing.1 = s 'Thing Class'
    {
        CLSID = s '{1111}'
    }
    NoRemove CLSID
    {
        ForceRemove {1111} = s 'Thing Class'
        {
            ForceRemove 'Programmable'
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Both'
            }
            val AppID = s '%APPID%'
        }
    }
    Plain
    {
        val Name = s 'it''s 100%%'
    }
}
)";
}  // namespace

TEST(Registrar, RegistersAndUnregistersWithItsModifiers) {
    Registry reg;
    reg.SetValue("CLSID\\{1111}\\Stale", "", "from an older version");
    reg.SetValue("CLSID\\{9999}", "", "someone else");
    ScriptReplacements vars{{"MODULE", "/usr/lib/it's.so"}, {"APPID", "{AAAA}"}};
    std::string error;
    ASSERT_EQ(RunRegistrarScript(kScript, vars, true, reg, &error), S_OK) << error;

    std::string v;
    ASSERT_TRUE(reg.GetValue("CLSID\\{1111}\\InprocServer32", "", &v));
    EXPECT_EQ(v, "/usr/lib/it's.so");
    ASSERT_TRUE(reg.GetValue("CLSID\\{1111}\\InprocServer32", "ThreadingModel", &v));
    EXPECT_EQ(v, "Both");
    ASSERT_TRUE(reg.GetValue("CLSID\\{1111}", "AppID", &v));
    EXPECT_EQ(v, "{AAAA}");
    ASSERT_TRUE(reg.GetValue("Test.Thing.1\\CLSID", "", &v));
    EXPECT_EQ(v, "{1111}");
    ASSERT_TRUE(reg.GetValue("Plain", "Name", &v));
    EXPECT_EQ(v, "it's 100%");
    EXPECT_TRUE(reg.KeyExists("CLSID\\{1111}\\Programmable"));
    EXPECT_FALSE(reg.KeyExists("CLSID\\{1111}\\Stale")) << "ForceRemove starts afresh";

    // A key the script did not make keeps its plain parent alive.
    reg.SetValue("Test.Thing.1\\Foreign", "", "kept");
    ASSERT_EQ(RunRegistrarScript(kScript, vars, false, reg, &error), S_OK) << error;
    EXPECT_FALSE(reg.KeyExists("CLSID\\{1111}"));
    EXPECT_TRUE(reg.KeyExists("CLSID")) << "NoRemove keys stay";
    EXPECT_TRUE(reg.KeyExists("CLSID\\{9999}"));
    EXPECT_FALSE(reg.KeyExists("Test.Thing.1\\CLSID"));
    EXPECT_TRUE(reg.KeyExists("Test.Thing.1\\Foreign"));
    EXPECT_FALSE(reg.KeyExists("Plain"));
}

TEST(Registrar, MalformedScriptsChangeNothing) {
    Registry reg;
    reg.SetValue("Keep", "", "me");
    const std::string before = reg.Serialize();
    const char* bad[] = {
        "HKCR { A = s 'unterminated }",
        "HKLM { A }",
        "HKCR { A = d '1' }",
        "HKCR { A { }",
        "HKCR { A = s '%NOPE%' }",
        "HKCR { 'a\\b' }",
        // A quoted key name across lines would break the registry file.
        "HKCR { 'a\n] x' = s 'v' }",
        "HKCR { B { val 'x\ry' = s 'v' } }",
        // Keys nested 513 deep (the registry allows 512).
        [] {
            static std::string deep;
            deep = "HKCR {";
            for (std::size_t i = 0; i <= Registry::kMaxKeyDepth; ++i) deep += " k {";
            for (std::size_t i = 0; i <= Registry::kMaxKeyDepth + 1; ++i) deep += " }";
            return deep.c_str();
        }(),
    };
    for (const char* script : bad) {
        std::string error;
        EXPECT_EQ(RunRegistrarScript(script, {}, true, reg, &error), E_INVALIDARG) << script;
        EXPECT_FALSE(error.empty()) << script;
        EXPECT_EQ(reg.Serialize(), before) << script;
    }
    // 512 levels are allowed, written and read back.
    std::string deep = "HKCR {";
    for (std::size_t i = 0; i < Registry::kMaxKeyDepth; ++i) deep += " k {";
    for (std::size_t i = 0; i <= Registry::kMaxKeyDepth; ++i) deep += " }";
    std::string error;
    ASSERT_EQ(RunRegistrarScript(deep, {}, true, reg, &error), S_OK) << error;
    Registry back;
    EXPECT_EQ(Registry::Parse(reg.Serialize(), &back, &error), S_OK) << error;
}
