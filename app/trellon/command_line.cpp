#include "trellon/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// The window system's options that take a value, and those that do not:
// passed on to the toolkit as given.
const char* const kToolkitWithValue[] = {"display",       "platform",     "platformpluginpath",
                                         "platformtheme", "plugin",       "qwindowgeometry",
                                         "qwindowicon",   "qwindowtitle", "geometry",
                                         "style",         "stylesheet",   "title",
                                         "name",          "session"};
const char* const kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template <std::size_t N>
bool Listed(const char* const (&names)[N], const std::string& name) {
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* n) { return name == n; });
}

bool ParseCount(const std::string& text, int low, int high, int* out) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < low || v > high) return false;
    *out = int(v);
    return true;
}

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string BaseName(const char* path) {
    if (!path || !*path) return "trellon";
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

}  // namespace

bool ChooseRenderFormat(const std::string& format, const std::string& out,
                        ExportChoice::Format* chosen, std::string* error) {
    std::string name = Lower(format);
    if (name.empty()) {
        const std::string file = out.substr(out.find_last_of('/') + 1);
        const std::size_t dot = file.find_last_of('.');
        if (dot == std::string::npos || dot == 0) {
            *chosen = ExportChoice::Format::kWav;
            return true;
        }
        name = Lower(file.substr(dot + 1));
        if (name == "mid") name = "midi";
        if (name != "wav" && name != "flac" && name != "midi") {
            *error = "cannot tell the format of '" + out + "': its name ends in ." +
                     file.substr(dot + 1) +
                     "; name a .wav, .flac or .mid file, or choose one with --format "
                     "wav|flac|midi";
            return false;
        }
    } else if (name != "wav" && name != "flac" && name != "midi") {
        *error = "--format takes wav, flac or midi, not '" + format + "'";
        return false;
    }
    *chosen = name == "flac"   ? ExportChoice::Format::kFlac
              : name == "midi" ? ExportChoice::Format::kMidi
                               : ExportChoice::Format::kWav;
    return true;
}

bool ParseCommandLine(int argc, const char* const* argv, CommandLine* line, std::string* error) {
    *line = CommandLine{};
    line->program = BaseName(argc > 0 ? argv[0] : nullptr);
    std::string& format = line->format;
    bool loopGiven = false, renderOnly = false;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            line->mode = CommandLine::Mode::kHelp;
            return true;
        }
        if (arg == "--version") {
            line->mode = CommandLine::Mode::kVersion;
            return true;
        }
        // --sync is the program's (who leads playback); the window system's
        // flag of that name takes one dash.
        const bool ownSync = arg == "--sync" || arg.compare(0, 7, "--sync=") == 0;
        if (!ownSync && (arg.compare(0, 2, "--") != 0 || Listed(kToolkitWithValue, arg.substr(2)) ||
                         Listed(kToolkitFlags, arg.substr(2)))) {
            // One dash (or a toolkit option with two): the window system's.
            const std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
            if (Listed(kToolkitFlags, name)) {
                line->toolkit.push_back(arg);
                continue;
            }
            if (!Listed(kToolkitWithValue, name)) {
                *error = "unrecognized option '" + arg + "'";
                return false;
            }
            if (i + 1 >= argc) {
                *error = "option '" + arg + "' requires an argument";
                return false;
            }
            line->toolkit.push_back(arg);
            line->toolkit.push_back(argv[++i]);
            continue;
        }
        // --name, --name=value or --name value.
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const bool inlineValue = equals != std::string::npos;
        const auto value = [&](std::string* v) {
            if (inlineValue) {
                *v = arg.substr(equals + 1);
                return true;
            }
            if (i + 1 >= argc) {
                *error = "option '" + name + "' requires an argument";
                return false;
            }
            *v = argv[++i];
            return true;
        };
        std::string v;
        if (name == "--arrangement") {
            if (inlineValue) {
                *error = "option '--arrangement' doesn't allow an argument";
                return false;
            }
            line->choice.arrangement = true;
            renderOnly = true;
        } else if (name == "--render") {
            if (!value(&line->song)) return false;
            line->mode = CommandLine::Mode::kRender;
        } else if (name == "--sample") {
            if (!value(&line->sample)) return false;
            line->mode = CommandLine::Mode::kSample;
        } else if (name == "--out") {
            if (!value(&line->out)) return false;
            renderOnly = true;
        } else if (name == "--stems") {
            if (!value(&line->stems)) return false;
            line->choice.stems = renderOnly = true;
        } else if (name == "--loop") {
            if (!value(&v)) return false;
            if (!ParseCount(v, 0, 9, &line->choice.loop)) {
                *error = "--loop takes a loop number from 0 to 9, not '" + v + "'";
                return false;
            }
            loopGiven = renderOnly = true;
        } else if (name == "--passes") {
            if (!value(&v)) return false;
            if (!ParseCount(v, 1, 10000, &line->choice.times)) {
                *error = "--passes takes a count from 1 to 10000, not '" + v + "'";
                return false;
            }
            renderOnly = true;
        } else if (name == "--format") {
            if (!value(&format)) return false;
            renderOnly = true;
        } else if (name == "--audio-driver" || name == "--audio-device") {
            if (!value(name == "--audio-driver" ? &line->driver : &line->device)) return false;
            if ((name == "--audio-driver" ? line->driver : line->device).empty()) {
                *error = name + " needs a name";
                return false;
            }
            line->outputGiven = true;
        } else if (name == "--sync") {
            if (!value(&v)) return false;
            v = Lower(v);
            if (v != "internal" && v != "jack" && v != "midi" && v != "link") {
                *error = "--sync takes internal, jack, midi or link, not '" + v + "'";
                return false;
            }
            line->sync = v;
        } else {
            *error = "unrecognized option '" + name + "'";
            return false;
        }
    }

    if (line->mode == CommandLine::Mode::kRender) {
        if (!positional.empty()) {
            *error = "unexpected argument '" + positional.front() + "' with --render";
            return false;
        }
        if (line->outputGiven || !line->sync.empty() || !line->toolkit.empty()) {
            *error =
                "--render plays nothing and shows no window: its options are --loop, "
                "--arrangement, --passes, --format, --out and --stems";
            return false;
        }
        if (!line->stems.empty() && !line->out.empty()) {
            *error = "--stems writes a folder of files and --out one file: give one of them";
            return false;
        }
        if (line->choice.stems && line->stems.empty()) {
            *error = "--stems needs a folder";
            return false;
        }
        if (line->song.empty() || (line->out.empty() && line->stems.empty())) {
            *error = "--render needs a song and --out a file (or --stems a folder)";
            return false;
        }
        if (line->choice.stems && Lower(format) == "midi") {
            *error = "stems are audio: --stems takes --format wav or flac";
            return false;
        }
        if (loopGiven && line->choice.arrangement) {
            *error = "--loop and --arrangement exclude each other";
            return false;
        }
        // A format named is checked here; one taken from the output's name
        // only once the output is known not to be the song.
        return format.empty() || ChooseRenderFormat(format, line->choice.stems ? "" : line->out,
                                                    &line->choice.format, error);
    }
    if (renderOnly) {
        *error = "--out, --stems, --loop, --arrangement, --passes and --format go with --render";
        return false;
    }
    if (line->mode == CommandLine::Mode::kSample) {
        if (line->sample.empty()) {
            *error = "--sample needs an audio file";
            return false;
        }
        if (!positional.empty()) {
            *error = "unexpected argument '" + positional.front() + "' with --sample";
            return false;
        }
        return true;
    }
    if (positional.size() > 1) {
        *error = "unexpected argument '" + positional[1] + "': the window opens one song";
        return false;
    }
    if (!positional.empty()) line->song = positional.front();
    return true;
}

std::vector<std::string> LongOptionNames() {
    return {"--render", "--loop",  "--arrangement", "--passes",       "--format",
            "--out",    "--stems", "--sample",      "--audio-driver", "--audio-device",
            "--sync",   "--help",  "--version"};
}

std::string UsageText(const std::string& p) {
    const std::string pad(p.size(), ' ');
    return "usage: " + p + " [OUTPUT] [SONG.loop]\n" +
           "         start the loop sequencer on SONG, or on the bundled song\n"
           "       " +
           p + " --render SONG [--loop N | --arrangement] [--passes P]\n" + "       " + pad +
           " [--format wav|flac|midi] (--out OUT | --stems FOLDER)\n" +
           "         render loop N (0 to 9, default 0) of a song P times (default 1), or\n"
           "         its arrangement P times through, to a 16-bit WAV or FLAC file or a\n"
           "         MIDI file (the format --format names, else the one OUT's name ends\n"
           "         in); --stems writes one WAV (or FLAC) file per track into FOLDER.\n"
           "         SONG is a .loop file or another drum machine's .h2song\n"
           "       " +
           p + " [OUTPUT] --sample FILE\n" +
           "         show the waveform of an audio file; drag to select, space to play\n"
           "         and stop the selection\n"
           "       " +
           p + " --help | --version\n" +
           "OUTPUT, for this run instead of the one chosen under Audio > Output Device:\n"
           "       --audio-driver NAME   the sound system's driver (jack, pulseaudio,\n"
           "                             pipewire, alsa, ...); without one, a running\n"
           "                             JACK server is used\n"
           "       --audio-device NAME   one of its output devices\n"
           "       --sync WHO            who leads playback, instead of the choice under\n"
           "                             Audio > Sync: internal (Trellon), jack (JACK's\n"
           "                             transport), midi (the MIDI clock coming into\n"
           "                             midi_in) or link (the Link session's peers)\n"
           "Options take their value as --opt VALUE or --opt=VALUE; -- ends the options.\n"
           "The window system's options (-display NAME, -platform NAME, ...) are passed on.\n";
}
