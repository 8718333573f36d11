// The C binding reaches the same members as the C++ one: a C client's calls
// through lpVtbl, first slots to last of every interface, give what the
// library's members give.
#include <string>

#include "common/audio_fixture.h"

extern "C" std::size_t CBindingCalls(IOvraAudioGlobals* audio, const char* wavPath, char* out,
                                     std::size_t size);

TEST_F(AudioLibrary, CClientCallsReachTheMembersTheyName) {
    WriteText(Path("a.wav"), CanonicalWav(2, 1000));
    char out[4096];
    const std::size_t n = CBindingCalls(globals_.get(), Path("a.wav").c_str(), out, sizeof out);
    ASSERT_LT(n, sizeof out);
    EXPECT_EQ(std::string(out, n),
              "MakeWav 00000000\n"
              "wav 10 frames 2 channels 22050 Hz 88200 B/s 2 bytes\n"
              "put_NumChannels 80004001\n"
              "put_Sample 00000000\n"
              "get_Sample -1234\n"
              "IWavValues 00000000\n"
              "WriteValues 00000000\n"
              "ReadValues 00000000 111 -222 0 0 0 0 0 -1234\n"
              "ReadValues past the end 80004005\n"
              "ToByteArray 00000000 last index 83\n"
              "ReadWavFromArray 00000000\n"
              "OpenReader 00000000\n"
              "Skip 00000000\n"
              "Read 00000000\n"
              "block 4 frames, first right -1234\n"
              "position 7 eof 0 SampleIndexFromSeconds 80004001\n"
              "WavFile 00000000\n"
              "get_Path same\n"
              "ReadAll 80004001 null\n"
              "file 1000 frames\n"
              "LoadWav 80004001\n");
}
