// The program's command line: the parser's rules, and what the program
// says and returns for a wrong one, with no display to fall back on.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "trellon/command_line.h"

namespace {

struct Parsed {
    bool ok;
    CommandLine line;
    std::string error;
};

Parsed Parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"/usr/games/trellon"};
    argv.insert(argv.end(), args.begin(), args.end());
    Parsed p;
    p.ok = ParseCommandLine(int(argv.size()), argv.data(), &p.line, &p.error);
    return p;
}

// Runs the program without a display; its status and what it wrote.
struct Outcome {
    int status;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::array<char, 4096> buf;
        for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), f)) > 0;)
            text.append(buf.data(), n);
        std::fclose(f);
    }
    return text;
}

Outcome Program(const std::string& args, const std::string& stdoutTo = "") {
    const std::string dir = testing::TempDir();
    const std::string out = stdoutTo.empty() ? dir + "cl_out.txt" : stdoutTo;
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb " +
                            std::string(TRELLON_PATH) + " " + args + " >" + out + " 2>" + dir +
                            "cl_err.txt";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, stdoutTo.empty() ? Slurp(out) : std::string(),
            Slurp(dir + "cl_err.txt")};
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(CommandLine, TakesValuesBothWaysAndEndsOptionsAtTheDoubleDash) {
    Parsed p = Parse({"--render=a.loop", "--loop", "2", "--passes=3", "--out=b.FLAC"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.line.mode, CommandLine::Mode::kRender);
    EXPECT_EQ(p.line.program, "trellon") << "called by the name it was started as";
    EXPECT_EQ(p.line.song, "a.loop");
    EXPECT_EQ(p.line.out, "b.FLAC");
    EXPECT_EQ(p.line.choice.loop, 2);
    EXPECT_EQ(p.line.choice.times, 3);
    EXPECT_TRUE(p.line.format.empty());

    p = Parse({"--audio-driver=jack", "--", "--odd name.loop"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.line.mode, CommandLine::Mode::kWindow);
    EXPECT_EQ(p.line.song, "--odd name.loop");
    EXPECT_EQ(p.line.driver, "jack");
    EXPECT_TRUE(p.line.outputGiven);

    // The window system's options go to the toolkit, values and all.
    p = Parse({"-display", ":7", "song.loop", "--platform", "offscreen", "-reverse"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.line.toolkit,
              (std::vector<std::string>{"-display", ":7", "--platform", "offscreen", "-reverse"}));
    EXPECT_EQ(p.line.song, "song.loop");

    // --help wins wherever it stands, even after a wrong option.
    EXPECT_EQ(Parse({"--out", "x", "--help", "--bogus"}).line.mode, CommandLine::Mode::kHelp);
}

TEST(CommandLine, RefusesWhatItCannotDoAndNamesIt) {
    const struct {
        std::initializer_list<const char*> args;
        const char* said;
    } cases[] = {
        {{"--bogus"}, "unrecognized option '--bogus'"},
        {{"-x"}, "unrecognized option '-x'"},
        {{"--out=x.wav"}, "go with --render"},
        {{"--render", "a.loop"}, "needs a song and --out"},
        {{"--render", "a.loop", "--out"}, "option '--out' requires an argument"},
        {{"--render", "a.loop", "--out", "x.wav", "--format", "ogg"}, "not 'ogg'"},
        {{"--render", "a.loop", "--out", "x.wav", "--loop", "1", "--arrangement"}, "exclude"},
        {{"--render", "a.loop", "--out", "x.wav", "--loop=1x"}, "0 to 9, not '1x'"},
        {{"--render", "a.loop", "--out", "x.wav", "--passes", "0"}, "1 to 10000"},
        {{"--render", "a.loop", "--out", "x.wav", "--audio-driver", "jack"}, "plays nothing"},
        {{"--render", "a.loop", "--out", "x.wav", "extra"}, "unexpected argument 'extra'"},
        {{"--arrangement=yes"}, "doesn't allow an argument"},
        {{"a.loop", "b.loop"}, "unexpected argument 'b.loop'"},
        {{"--sample"}, "option '--sample' requires an argument"},
        {{"--audio-device="}, "needs a name"},
        {{"--sync", "clock"}, "internal, jack, midi or link, not 'clock'"},
        {{"--render", "a.loop", "--out", "x.wav", "--sync", "jack"}, "plays nothing"},
    };
    for (const auto& c : cases) {
        const Parsed p = Parse(c.args);
        EXPECT_FALSE(p.ok) << *c.args.begin();
        EXPECT_TRUE(Has(p.error, c.said)) << *c.args.begin() << ": " << p.error;
    }
    EXPECT_EQ(Parse({"--sync=JACK", "a.loop"}).line.sync, "jack");
    EXPECT_EQ(Parse({"--sync", "Link"}).line.sync, "link");
    // The window system's flag of the name keeps its one dash.
    const Parsed x11 = Parse({"-sync", "--sync", "midi"});
    EXPECT_EQ(x11.line.sync, "midi");
    EXPECT_EQ(x11.line.toolkit, std::vector<std::string>{"-sync"});
    // --format wins over the extension, any case; a name without one is
    // WAV; one that is neither is refused.
    ExportChoice::Format f{};
    std::string error;
    ASSERT_TRUE(ChooseRenderFormat("", "b.FLAC", &f, &error));
    EXPECT_EQ(f, ExportChoice::Format::kFlac);
    EXPECT_FALSE(ChooseRenderFormat("", "take.mp3", &f, &error));
    EXPECT_TRUE(Has(error, "its name ends in .mp3")) << error;
    ASSERT_TRUE(ChooseRenderFormat("FLAC", "x.wav", &f, &error));
    EXPECT_EQ(f, ExportChoice::Format::kFlac);
    ASSERT_TRUE(ChooseRenderFormat("", "dir.d/take", &f, &error));
    EXPECT_EQ(f, ExportChoice::Format::kWav);
}

TEST(CommandLine, TheProgramNamesAWrongOptionBeforeLookingForADisplay) {
    Outcome r = Program("--bogus");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "unrecognized option '--bogus'")) << r.err;
    EXPECT_TRUE(Has(r.err, "Try 'Trellon --help'")) << r.err;
    EXPECT_FALSE(Has(r.err, "display")) << r.err;

    r = Program("--render nothing.loop --out x.mp3");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, ".mp3")) << r.err;

    // Without a display, a right command line for a window says so (a
    // build without windows, that it has none).
    r = Program("song.loop");
#ifdef TRELLON_WITH_WINDOWS
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "no display found")) << r.err;
#else
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "this build has no windows")) << r.err;
#endif

    // Help and version go to standard output; a write that fails is said.
    r = Program("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "usage: Trellon")) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
    r = Program("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "Trellon ")) << r.out;
    r = Program("--help", "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "write error")) << r.err;
}

TEST(CommandLine, TheManualAndTheHelpListTheOptionsTheProgramTakes) {
    const std::vector<std::string> names = LongOptionNames();
    const std::set<std::string> known(names.begin(), names.end());
    // Every listed option is one the parser takes.
    for (const std::string& name : names) {
        const Parsed p = Parse({name.c_str()});
        EXPECT_FALSE(Has(p.error, "unrecognized")) << name;
    }
    // The manual names these and no others; the help names every one.
    std::ifstream in(MANUAL_PATH);
    ASSERT_TRUE(in) << MANUAL_PATH;
    std::stringstream text;
    text << in.rdbuf();
    const std::string manual = std::regex_replace(text.str(), std::regex(R"(\\-)"), "-");
    std::set<std::string> inManual;
    const std::regex option("--[a-z][a-z-]*[a-z]");
    for (auto m = std::sregex_iterator(manual.begin(), manual.end(), option);
         m != std::sregex_iterator(); ++m)
        inManual.insert(m->str());
    EXPECT_EQ(inManual, known);
    const std::string usage = UsageText("trellon");
    for (const std::string& name : names) EXPECT_TRUE(Has(usage, name)) << name;
}
