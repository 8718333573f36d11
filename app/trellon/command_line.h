// The program's command line, read before anything else is looked for (a
// display, a sound device): GNU conventions, --opt value and --opt=value,
// "--" ends the options, an unknown option is named. Plain data; main()
// acts on it.
#pragma once

#include <string>
#include <vector>

#include "song/song_export.h"

struct CommandLine {
    enum class Mode { kWindow, kRender, kSample, kHelp, kVersion };
    Mode mode = Mode::kWindow;
    // The name the program was started as, for its messages.
    std::string program;

    // The main window: a song to open, or none for the default song.
    std::string song;
    // The sample window: the audio file it shows.
    std::string sample;
    // The output for this run (--audio-driver, --audio-device).
    std::string driver, device;
    bool outputGiven = false;
    // Who leads playback for this run (--sync): "internal", "jack" (JACK's
    // transport followed), "midi" (a MIDI clock followed); empty for the
    // choice under Audio > Sync.
    std::string sync;
    // The window system's own options (-display NAME, -platform NAME...),
    // in order, for the toolkit.
    std::vector<std::string> toolkit;

    // --render: the song, the output file and what to render; the format
    // --format names (wav or flac), empty for the one out's name says.
    std::string out, format;
    // --stems: the folder the tracks' files go into (choice.stems set).
    std::string stems;
    ExportChoice choice;
};

// Reads argv into *line; false, with *error saying what is wrong (without
// the program's name), for a command line that is not valid.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* line, std::string* error);

// The format a rendering is written in: the one --format names, else the
// one the output file's name ends in (case aside), WAV for a name without
// an extension. False, with *error set, for a format that is not known.
bool ChooseRenderFormat(const std::string& format, const std::string& out,
                        ExportChoice::Format* chosen, std::string* error);

// Every long option the program takes, for its documentation to be
// checked against.
std::vector<std::string> LongOptionNames();

// The usage text, calling the program by its name.
std::string UsageText(const std::string& program);
