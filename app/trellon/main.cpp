// Trellon, the loop sequencer.
//
//   Trellon [SONG.loop]          the main window on a song, or the default song
//   Trellon --render SONG.loop [--loop N | --arrangement] [--passes P]
//                [--format wav|flac] --out OUT
//   Trellon --sample FILE.wav          the waveform of a WAV file
//   Trellon --help | --version

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "song/song_export.h"
#include "song/song_file.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "support/program_name.h"
#include "support/text_format.h"

#ifdef TRELLON_WITH_WINDOWS
#include <QApplication>

#include "forms/error_box.h"
#include "forms/qt_dispatcher.h"
#include "output/av_module.h"
#include "ui/main_form.h"
#include "wave/sound_form.h"
#endif

namespace {

const char kUsage[] =
    "usage: Trellon [SONG.loop]          start the loop sequencer on SONG, or on the\n"
    "                                    bundled song\n"
    "       Trellon --render SONG.loop [--loop N | --arrangement] [--passes P]\n"
    "               [--format wav|flac] --out OUT\n"
    "                                    render loop N (0 to 9, default 0) of a song P\n"
    "                                    times (default 1), or its arrangement P times\n"
    "                                    through, to a 16-bit WAV or FLAC file\n"
    "       Trellon --sample FILE.wav    show the waveform of a WAV file; drag to\n"
    "                                    select, space to play and stop the selection\n"
    "       Trellon --help | --version\n";

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
    // The format the option names, else the one the file's name ends in.
    if (format.empty())
        format = ExtensionOfFileName(FileNameOfPath(out)) == "flac" ? "flac" : "wav";
    choice.format = format == "flac" ? ExportChoice::Format::kFlac : ExportChoice::Format::kWav;
    // Progress for a person watching, not for a pipe.
    const bool terminal = ::isatty(2);
    try {
        std::shared_ptr<Song> s = ReadSongFile(song);
        CheckExport(*s, choice, Quoted(FileNameOfPath(song)));
        int shown = -1;
        ExportSong(*s, choice, out, [&](double done) {
            const int percent = int(done * 100);
            if (terminal && percent != shown) {
                std::fprintf(stderr, "\rTrellon: rendering %3d%%", percent);
                shown = percent;
            }
            return true;
        });
        if (terminal) std::fputs("\n", stderr);
    } catch (const AppError& e) {
        if (terminal) std::fputs("\n", stderr);
        std::fprintf(stderr, "Trellon: %s\n", e.what());
        return 1;
    }
    return 0;
}

#ifdef TRELLON_WITH_WINDOWS
// The main window on the song the command line names, or the default
// song, until it is closed.
int RunMainWindow(int argc, char** argv) {
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
    QtDispatcher dispatcher;
    MainForm form;
    form.SetStartupSong(song);
    form.Load();
    form.show();
    return app.exec();
}

// The sample window on the file the rest of the command line names.
int RunSampleWindow(int argc, char** argv) {
    std::string commandLine;
    for (int i = 2; i < argc; ++i) commandLine += (i > 2 ? " " : "") + std::string(argv[i]);
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramTitle);
    QtDispatcher dispatcher;
    SoundForm form;
    try {
        form.Load(commandLine);
    } catch (const std::exception& e) {
        ShowErrorBox(nullptr, kProgramTitle, e.what());
        return 1;
    }
    form.show();
    return app.exec();
}
#endif

}  // namespace

int main(int argc, char** argv) {
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
    if (argc >= 2 && !std::strcmp(argv[1], "--sample")) {
        if (argc < 3) {
            std::fprintf(stderr, "Trellon: --sample needs a WAV file\n%s", kUsage);
            return 2;
        }
        return RunSampleWindow(argc, argv);
    }
#endif
#ifdef TRELLON_WITH_WINDOWS
    return RunMainWindow(argc, argv);
#else
    std::fputs("Trellon: this build has no windows; it renders songs (--render).\n", stderr);
    return 1;
#endif
}
