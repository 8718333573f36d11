// The program's one entry object of the audio library, made through
// activation on first use and kept for the rest of the run.
#pragma once

#include "OvraAudio.h"

// Throws AppError when the library cannot be created (not registered ...).
IOvraAudioGlobals* AudioLibrary();

// Makes library the entry object, for tools that link the library's classes
// into themselves (fuzz targets, benchmarks) instead of activating it.
void UseAudioLibrary(IOvraAudioGlobals* library);
