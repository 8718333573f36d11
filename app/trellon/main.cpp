// Trellon, the loop sequencer.
//
//   Trellon [OUTPUT] [SONG.loop]   the main window on a song, or the default song
//   Trellon --render SONG.loop [--loop N | --arrangement] [--passes P]
//                [--format wav|flac] --out OUT
//   Trellon [OUTPUT] --sample FILE.wav   the waveform of a WAV file
//   Trellon --help | --version
// OUTPUT is --audio-driver NAME and --audio-device NAME, for this run.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "engine/engine.h"
#include "files/folders.h"
#include "song/song_file.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "support/program_name.h"
#include "support/text_format.h"

#ifdef TRELLON_WITH_WINDOWS
#include <QApplication>
#include <QSettings>

#include "forms/display_check.h"
#include "forms/error_box.h"
#include "forms/qt_dispatcher.h"
#include "forms/termination_signals.h"
#include "output/av_module.h"
#include "sound/sound_device.h"
#include "ui/main_form.h"
#include "wave/sound_form.h"
#endif

namespace {

const char kUsage[] =
    "usage: Trellon [OUTPUT] [SONG.loop] start the loop sequencer on SONG, or on the\n"
    "                                    bundled song\n"
    "       Trellon --render SONG.loop [--loop N | --arrangement] [--passes P]\n"
    "               [--format wav|flac] --out OUT\n"
    "                                    render loop N (0 to 9, default 0) of a song P\n"
    "                                    times (default 1), or its arrangement P times\n"
    "                                    through, to a 16-bit WAV or FLAC file\n"
    "       Trellon [OUTPUT] --sample FILE.wav\n"
    "                                    show the waveform of a WAV file; drag to\n"
    "                                    select, space to play and stop the selection\n"
    "       Trellon --help | --version\n"
    "OUTPUT, for this run instead of the one chosen under Audio > Output Device:\n"
    "       --audio-driver NAME          the sound system's driver (jack,\n"
    "                                    pulseaudio, pipewire, alsa, ...); without\n"
    "                                    one, a running JACK server is used\n"
    "       --audio-device NAME          one of its output devices\n";

bool ParseCount(const char* text, int low, int high, int* out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < low || v > high) return false;
    *out = static_cast<int>(v);
    return true;
}

int Render(int argc, char** argv) {
    std::string song, out, format;
    ExportChoice choice;
    bool loopGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--render" && hasValue) {
            song = argv[++i];
        } else if (a == "--out" && hasValue) {
            out = argv[++i];
        } else if (a == "--loop" && hasValue) {
            loopGiven = true;
            if (!ParseCount(argv[++i], 0, 9, &choice.loop)) {
                std::fprintf(stderr, "Trellon: --loop takes a loop number from 0 to 9\n");
                return 2;
            }
        } else if (a == "--arrangement") {
            choice.arrangement = true;
        } else if (a == "--passes" && hasValue) {
            if (!ParseCount(argv[++i], 1, 10000, &choice.times)) {
                std::fprintf(stderr, "Trellon: --passes takes a count from 1 to 10000\n");
                return 2;
            }
        } else if (a == "--format" && hasValue) {
            format = argv[++i];
            if (format != "wav" && format != "flac") {
                std::fprintf(stderr, "Trellon: --format takes wav or flac\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "Trellon: unexpected argument '%s'\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (song.empty() || out.empty()) {
        std::fprintf(stderr, "Trellon: --render needs a song and --out a file\n%s", kUsage);
        return 2;
    }
    if (loopGiven && choice.arrangement) {
        std::fprintf(stderr, "Trellon: --loop and --arrangement exclude each other\n");
        return 2;
    }
    // Writing over the song would lose it: the output must be another file,
    // whatever links or other names lead to it.
    if (IsSameFile(song, out)) {
        std::fprintf(stderr, "Trellon: --out names the song itself (%s); choose another file\n",
                     out.c_str());
        return 2;
    }
    // The format the option names, else the one the file's name ends in.
    if (format.empty())
        format = ExtensionOfFileName(FileNameOfPath(out)) == "flac" ? "flac" : "wav";
    choice.format = format == "flac" ? ExportChoice::Format::kFlac : ExportChoice::Format::kWav;
    // Progress for a person watching, not for a pipe.
    const bool terminal = ::isatty(2);
    try {
        Engine engine;
        std::string notice;
        engine.ShowSong(ReadSongFile(song, &notice), song, false);
        // What the song file held that is left out of the rendering is said.
        if (!notice.empty()) std::fprintf(stderr, "Trellon: %s\n", notice.c_str());
        int shown = -1;
        engine.Export(choice, out, [&](double done) {
            const int percent = int(done * 100);
            if (terminal && percent != shown) {
                std::fprintf(stderr, "\rTrellon: rendering %3d%%", percent);
                shown = percent;
            }
            return true;
        });
        if (terminal) std::fputs("\n", stderr);
    } catch (const std::exception& e) {
        // Out of memory included: a message and status 1, never an abort.
        if (terminal) std::fputs("\n", stderr);
        std::fprintf(stderr, "Trellon: %s\n", ErrorText(e).c_str());
        return 1;
    }
    return 0;
}

#ifdef TRELLON_WITH_WINDOWS
// The output options, taken out of the command line; false, with a message
// printed, when one is wrong.
struct OutputOptions {
    SoundOutput output;
    bool given = false;
};

bool TakeOutputOptions(std::vector<char*>& args, OutputOptions* options) {
    for (std::size_t i = 1; i < args.size();) {
        const std::string a = args[i];
        if (a != "--audio-driver" && a != "--audio-device") {
            ++i;
            continue;
        }
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "Trellon: %s needs a name\n", a.c_str());
            return false;
        }
        (a == "--audio-driver" ? options->output.driver : options->output.device) = args[i + 1];
        options->given = true;
        args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
    }
    const std::string& driver = options->output.driver;
    const std::vector<std::string> drivers = OutputDrivers();
    if (!driver.empty() && std::find(drivers.begin(), drivers.end(), driver) == drivers.end()) {
        std::string known;
        for (const std::string& d : drivers) known += (known.empty() ? "" : ", ") + d;
        std::fprintf(stderr, "Trellon: there is no audio driver '%s'; this system has: %s\n",
                     driver.c_str(), known.c_str());
        return false;
    }
    return true;
}

// The output named on the command line, else the one chosen in the window.
void ApplyOutput(const OutputOptions& options) {
    if (options.given) {
        SetSoundOutput(options.output);
        return;
    }
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, kProgramTitle, kProgramTitle);
    SetSoundOutput({settings.value("Audio/Driver").toString().toStdString(),
                    settings.value("Audio/Device").toString().toStdString()});
}

// Without a display Qt would abort: say so in one line instead.
bool CheckDisplay(int argc, char** argv) {
    std::string why;
    if (DisplayAvailable(argc, argv, &why)) return true;
    std::fprintf(stderr,
                 "Trellon: no display found (%s); the windows need a desktop session. Without "
                 "one, render songs to audio files: Trellon --render SONG.loop --out OUT.wav "
                 "(see Trellon --help)\n",
                 why.c_str());
    return false;
}

// The window whose song is kept when the process ends by exit() from below
// (the X connection lost): the toolkit ends the program that way.
MainForm* keptAtExit = nullptr;

void KeepSongAtExit() {
    if (keptAtExit) keptAtExit->KeepAtExit();
}

// Playback stops and the sound device closes before the program's static
// objects go.
void CloseSound() {
    AvSystem& av = GetAvSystem();
    try {
        av.StopPlaying();
    } catch (const std::exception&) {
    }
    av.ReleaseDevice();
}

// The main window on the song the command line names, or the default
// song, until it is closed or the program is told to end.
int RunMainWindow(int argc, char** argv, const OutputOptions& output) {
    QApplication app(argc, argv);  // takes the window system's options (-display ...)
    QApplication::setApplicationName(kProgramTitle);
    std::string song;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const std::string a = args[i].toStdString();
        if (a == "--") continue;
        if (!a.empty() && a[0] != '-' && song.empty()) {
            song = a;
            continue;
        }
        std::fprintf(stderr, "Trellon: unexpected argument '%s'\n%s", a.c_str(), kUsage);
        return 2;
    }
    MainForm form;
    int ended = -1;
    TerminationSignals ending([&](int number) {
        ended = TerminationSignals::ExitStatus(number);
        form.EndBySignal();
        QCoreApplication::exit(ended);
    });
    if (output.given) SetSoundOutput(output.output);
    form.SetOutputFromCommandLine(output.given);
    form.SetStartupSong(song);
    form.Load();
    // A signal during start-up (a question asked there) ends it here.
    if (ended >= 0) return CloseSound(), ended;
    keptAtExit = &form;
    std::atexit(KeepSongAtExit);
    form.show();
    const int status = app.exec();
    keptAtExit = nullptr;
    CloseSound();
    return status;
}

// The sample window on the file the rest of the command line names.
int RunSampleWindow(int argc, char** argv, const OutputOptions& output) {
    std::string commandLine;
    for (int i = 2; i < argc; ++i) {
        if (i > 2) commandLine += ' ';
        commandLine += argv[i];
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramTitle);
    QtDispatcher dispatcher;
    ApplyOutput(output);
    SoundForm form;
    TerminationSignals ending(
        [&](int number) { QCoreApplication::exit(TerminationSignals::ExitStatus(number)); });
    try {
        form.Load(commandLine);
    } catch (const std::exception& e) {
        ShowErrorBox(nullptr, kProgramTitle, ErrorText(e));
        return 1;
    }
    form.show();
    const int status = app.exec();
    CloseSound();
    return status;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    // A write to a closed pipe (stderr read by nobody) is an error the
    // writer sees, not the end of the program.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc >= 2 && !std::strcmp(argv[1], "--version")) {
        std::puts("Trellon " TRELLON_VERSION ", a loop sequencer");
        return 0;
    }
    if (argc >= 2 && !std::strcmp(argv[1], "--render")) return Render(argc, argv);
#ifdef TRELLON_WITH_WINDOWS
    std::vector<char*> args(argv, argv + argc);
    OutputOptions output;
    if (!TakeOutputOptions(args, &output)) return 2;
    int count = int(args.size());
    args.push_back(nullptr);
    if (!CheckDisplay(count, args.data())) return 2;
    if (count >= 2 && !std::strcmp(args[1], "--sample")) {
        if (count < 3) {
            std::fprintf(stderr, "Trellon: --sample needs a WAV file\n%s", kUsage);
            return 2;
        }
        return RunSampleWindow(count, args.data(), output);
    }
    return RunMainWindow(count, args.data(), output);
#else
    std::fputs("Trellon: this build has no windows; it renders songs (--render).\n", stderr);
    return 1;
#endif
}
