// The program's one entry object of the audio library, made through
// activation on first use and kept for the rest of the run.
#pragma once

#include <string>

#include "OvraAudio.h"
#include "com/comptr.h"

// Throws AppError when the library cannot be created (not registered ...).
IOvraAudioGlobals* AudioLibrary();

// The library's WavFile of an existing file. The library reads a missing
// file as empty; this is error 53 instead.
ComPtr<IWavFile> OpenWavFile(const std::string& path);

// Makes library the entry object, for tools that link the library's classes
// into themselves (fuzz targets, benchmarks) instead of activating it.
void UseAudioLibrary(IOvraAudioGlobals* library);
