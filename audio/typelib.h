// The library's type library: records, interfaces and classes.
#pragma once

#include "com/typelib.h"

const TypeLibDesc& OvraAudioTypeLib();
const RecordDesc& PeakRecord();
const RecordDesc& WavHeaderRecord();
const InterfaceDesc& WavInterface();
const InterfaceDesc& WavReaderInterface();
const InterfaceDesc& WavFileInterface();
const InterfaceDesc& OggVorbisFileInterface();
const InterfaceDesc& GlobalsInterface();
const CoclassDesc& GlobalsClass();
const CoclassDesc& WavFileClass();
const CoclassDesc& WavFileReaderClass();
const CoclassDesc& WavClass();
const CoclassDesc& OggVorbisFileClass();
const CoclassDesc& OggVorbisFileReaderClass();
const CoclassDesc& WavMemoryReaderClass();
