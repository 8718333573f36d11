// Trellon, the loop sequencer.
//
//   Trellon [OUTPUT] [SONG.loop]   the main window on a song, or the default song
//   Trellon --render SONG.loop [--loop N | --arrangement] [--passes P]
//                [--format wav|flac] --out OUT
//   Trellon [OUTPUT] --sample FILE.wav   the waveform of a WAV file
//   Trellon --help | --version
// OUTPUT is --audio-driver NAME and --audio-device NAME, for this run.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "engine/engine.h"
#include "exchange/any_song.h"
#include "files/folders.h"
#include "song/song_file.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "support/program_name.h"
#include "support/text_format.h"
#include "trellon/command_line.h"

#ifdef TRELLON_WITH_WINDOWS
#include <QApplication>
#include <QSettings>

#include "forms/display_check.h"
#include "forms/error_box.h"
#include "forms/qt_dispatcher.h"
#include "forms/termination_signals.h"
#include "output/av_module.h"
#include "sound/sound_device.h"
#include "ui/app_icon.h"
#include "ui/main_form.h"
#include "wave/sound_form.h"
#endif

namespace {

// Says what is wrong with the command line, GNU style; status 2.
int CommandLineError(const std::string& program, const std::string& error) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
                 error.c_str(), program.c_str());
    return 2;
}

// Writes text to standard output; a write that fails (a full disk, a
// closed pipe) is said, and the status is 1.
int PrintToStdout(const std::string& program, const std::string& text) {
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "%s: write error: %s\n", program.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}

int Render(const CommandLine& line) {
    const char* p = line.program.c_str();
    const std::string& song = line.song;
    const std::string& out = line.choice.stems ? line.stems : line.out;
    // Writing over the song would lose it: the output must be another file,
    // whatever links or other names lead to it.
    if (IsSameFile(song, out)) {
        std::fprintf(stderr, "%s: --out names the song itself (%s); choose another file\n", p,
                     out.c_str());
        return 2;
    }
    ExportChoice choice = line.choice;
    std::string error;
    if (!ChooseRenderFormat(line.format, line.choice.stems ? "" : out, &choice.format, &error))
        return CommandLineError(line.program, error);
    // Progress for a person watching, not for a pipe.
    const bool terminal = ::isatty(2);
    try {
        Engine engine;
        std::string notice;
        bool foreign = false;
        auto read = ReadAnySong(song, &notice, {}, &foreign);
        engine.ShowSong(std::move(read), foreign ? "" : song, false);
        // What the song file held that is left out of the rendering is said.
        if (!notice.empty()) std::fprintf(stderr, "%s: %s\n", p, notice.c_str());
        int shown = -1;
        engine.Export(choice, out, [&](double done) {
            const int percent = int(done * 100);
            if (terminal && percent != shown) {
                std::fprintf(stderr, "\r%s: rendering %3d%%", p, percent);
                shown = percent;
            }
            return true;
        });
        if (terminal) std::fputs("\n", stderr);
        // Written, but with its peaks cut: said, the status stays 0.
        if (engine.ExportClipped() > 0)
            std::fprintf(stderr, "%s: warning: %s samples clipped; lower the master level\n", p,
                         Thousands(static_cast<long long>(engine.ExportClipped())).c_str());
    } catch (const std::exception& e) {
        // Out of memory included: a message and status 1, never an abort.
        if (terminal) std::fputs("\n", stderr);
        std::fprintf(stderr, "%s: %s\n", p, ErrorText(e).c_str());
        return 1;
    }
    return 0;
}

#ifdef TRELLON_WITH_WINDOWS
// The driver the command line names must be one this system has.
bool CheckDriver(const CommandLine& line) {
    const std::vector<std::string> drivers = OutputDrivers();
    if (line.driver.empty() ||
        std::find(drivers.begin(), drivers.end(), line.driver) != drivers.end())
        return true;
    std::string known;
    for (const std::string& d : drivers) known += (known.empty() ? "" : ", ") + d;
    std::fprintf(stderr, "%s: there is no audio driver '%s'; this system has: %s\n",
                 line.program.c_str(), line.driver.c_str(), known.c_str());
    return false;
}

// The output named on the command line, else the one chosen in the window.
void ApplyOutput(const CommandLine& line) {
    if (line.outputGiven) {
        SetSoundOutput({line.driver, line.device});
        return;
    }
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, kProgramTitle, kProgramTitle);
    SetSoundOutput({settings.value("Audio/Driver").toString().toStdString(),
                    settings.value("Audio/Device").toString().toStdString()});
}

// Without a display Qt would abort: say so in one line instead.
bool CheckDisplay(const CommandLine& line, int argc, char** argv) {
    std::string why;
    if (DisplayAvailable(argc, argv, &why)) return true;
    const char* p = line.program.c_str();
    std::fprintf(stderr,
                 "%s: no display found (%s); the windows need a desktop session. Without "
                 "one, render songs to audio files: %s --render SONG.loop --out OUT.wav "
                 "(see %s --help)\n",
                 p, why.c_str(), p, p);
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
int RunMainWindow(int argc, char** argv, const CommandLine& line) {
    QApplication app(argc, argv);  // takes the window system's options (-display ...)
    QApplication::setApplicationName(kProgramTitle);
    QGuiApplication::setDesktopFileName(kDesktopFileName);
    QApplication::setWindowIcon(AppIcon());
    const std::string& song = line.song;
    MainForm form;
    int ended = -1;
    TerminationSignals ending([&](int number) {
        ended = TerminationSignals::ExitStatus(number);
        form.EndBySignal();
        QCoreApplication::exit(ended);
    });
    if (line.outputGiven) SetSoundOutput({line.driver, line.device});
    form.SetOutputFromCommandLine(line.outputGiven);
    if (!line.sync.empty())
        form.SetSyncFromCommandLine(line.sync == "jack"   ? SyncChoice::kFollowJack
                                    : line.sync == "midi" ? SyncChoice::kFollowClock
                                    : line.sync == "link" ? SyncChoice::kLink
                                                          : SyncChoice::kInternal);
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
int RunSampleWindow(int argc, char** argv, const CommandLine& line) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramTitle);
    QGuiApplication::setDesktopFileName(kDesktopFileName);
    QApplication::setWindowIcon(AppIcon());
    QtDispatcher dispatcher;
    ApplyOutput(line);
    SoundForm form;
    TerminationSignals ending(
        [&](int number) { QCoreApplication::exit(TerminationSignals::ExitStatus(number)); });
    try {
        form.Load(line.sample);
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
    // The command line first: a wrong one is named whatever else is missing.
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, &line, &error)) return CommandLineError(line.program, error);
    switch (line.mode) {
        case CommandLine::Mode::kHelp:
            return PrintToStdout(line.program, UsageText(line.program));
        case CommandLine::Mode::kVersion:
            return PrintToStdout(line.program,
                                 line.program + " " TRELLON_VERSION ", a loop sequencer\n");
        case CommandLine::Mode::kRender:
            return Render(line);
        default:
            break;
    }
#ifdef TRELLON_WITH_WINDOWS
    if (!CheckDriver(line)) return 2;
    // The toolkit sees the program's name and the window system's options.
    std::vector<std::string> kept{argc > 0 ? argv[0] : "trellon"};
    kept.insert(kept.end(), line.toolkit.begin(), line.toolkit.end());
    std::vector<char*> args;
    for (std::string& a : kept) args.push_back(a.data());
    int count = int(args.size());
    args.push_back(nullptr);
    if (!CheckDisplay(line, count, args.data())) return 2;
    if (line.mode == CommandLine::Mode::kSample) return RunSampleWindow(count, args.data(), line);
    return RunMainWindow(count, args.data(), line);
#else
    std::fprintf(stderr, "%s: this build has no windows; it renders songs (--render).\n",
                 line.program.c_str());
    return 1;
#endif
}
