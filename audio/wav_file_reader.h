// WavFileReader: reads the audio of a WAV file block by block through a C
// stream. Its end-of-data flag works as the stream's end-of-file indicator
// does, with the data chunk's end standing in for the file's.
#pragma once

#include <cstdio>
#include <string>

#include "audio/typelib.h"
#include "audio/wav_format.h"
#include "com/object.h"
#include "files/regular_file.h"

class WavFileReader final : public FormatMembers<DispatchObject<WavFileReader, IWavReader>> {
  public:
    static const InterfaceDesc& Interface() { return WavReaderInterface(); }

    // A reader on the file at path (UTF-8). A file that cannot be opened or
    // holds no PCM audio gives a reader that is at its end at once.
    static HRESULT Open(const std::string& path, IWavReader** out);
    ~WavFileReader() override;

    HRESULT Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) override;
    HRESULT get_EOF(VARIANT_BOOL* result) override;
    HRESULT Read(LONG NumSamplesToRead, IWav** result) override;
    HRESULT get_AbsolutePosition(LONG* result) override;
    HRESULT Skip(LONG NumSamplesToSkip) override;

  private:
    // Bytes of audio left from the stream's place.
    long long Remaining() const;
    void Close();

    FilePtr stream_;
    bool atEnd_ = false;      // a read came back short
    long long offset_ = 0;    // the stream's place in the file
    long long dataEnd_ = -1;  // end of the audio, or -1 for the end of the file
    LONG position_ = 0;
};
