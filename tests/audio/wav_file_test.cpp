// Reading WAV files from disk, canonical and otherwise.
#include "common/audio_fixture.h"

namespace {

std::vector<AudioSample> Expected(int from, int count) {
    std::vector<AudioSample> v;
    for (int i = from; i < from + count; ++i)
        v.push_back(static_cast<AudioSample>((i * 7) & 0xFFFF));
    return v;
}

}  // namespace

TEST_F(AudioLibrary, CanonicalFileReadsInBlocksAndEndsAfterTheShortRead) {
    WriteText(Path("a.wav"), CanonicalWav(2, 1000));
    ComPtr<IWavReader> r = OpenFile(Path("a.wav"));
    LONG n = 0;
    r->get_NumSamples(&n);
    EXPECT_EQ(n, 1000);
    ComPtr<IWav> b;
    LONG sizes[] = {400, 400, 200};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(r->Read(400, b.Out()), S_OK);
        EXPECT_EQ(FramesOf(b.get()), sizes[i]);
        EXPECT_EQ(AtEnd(r.get()), i == 2) << i;
        EXPECT_EQ(ValuesOf(b.get()), Expected(800 * i, 2 * sizes[i]));
    }
    WavHeader h;
    b->get_Header(&h);
    EXPECT_EQ(h.DataHeader.ChunkSize, 800);
    EXPECT_EQ(h.RiffHeader.ChunkSize, 836);
    LONG pos = 0;
    r->get_AbsolutePosition(&pos);
    EXPECT_EQ(pos, 1000);

    // Reading exactly to the end does not end the reader; the next read does.
    r = OpenFile(Path("a.wav"));
    ASSERT_EQ(r->Read(500, b.Out()), S_OK);
    ASSERT_EQ(r->Read(500, b.Out()), S_OK);
    EXPECT_EQ(FramesOf(b.get()), 500);
    EXPECT_FALSE(AtEnd(r.get()));
    ASSERT_EQ(r->Read(500, b.Out()), S_OK);
    EXPECT_EQ(FramesOf(b.get()), 0);
    EXPECT_TRUE(AtEnd(r.get()));
    // Without a stream: empty reads, and Skip and Peaks fail.
    ASSERT_EQ(r->Read(10, b.Out()), S_OK);
    EXPECT_EQ(FramesOf(b.get()), 0);
    EXPECT_EQ(r->Skip(-10), E_FAIL);
    SAFEARRAY* a = nullptr;
    EXPECT_EQ(r->Peaks(10, &a), E_FAIL);

    r = OpenFile(Path("a.wav"));
    ASSERT_EQ(r->Read(-1, b.Out()), S_OK);
    EXPECT_EQ(FramesOf(b.get()), 1000);
    EXPECT_EQ(ValuesOf(b.get()), Expected(0, 2000));
}

TEST_F(AudioLibrary, SkipMovesTheStreamBothWays) {
    WriteText(Path("s.wav"), CanonicalWav(1, 100));
    ComPtr<IWavReader> r = OpenFile(Path("s.wav"));
    ComPtr<IWav> b;
    ASSERT_EQ(r->Skip(10), S_OK);
    ASSERT_EQ(r->Read(5, b.Out()), S_OK);
    EXPECT_EQ(ValuesOf(b.get()), Expected(10, 5));
    ASSERT_EQ(r->Read(1000, b.Out()), S_OK);  // to the end
    EXPECT_TRUE(AtEnd(r.get()));
    r = OpenFile(Path("s.wav"));
    ASSERT_EQ(r->Read(100, b.Out()), S_OK);
    ASSERT_EQ(r->Skip(-100), S_OK);  // rewind for looping
    LONG pos = -1;
    r->get_AbsolutePosition(&pos);
    EXPECT_EQ(pos, 0);
    ASSERT_EQ(r->Read(3, b.Out()), S_OK);
    EXPECT_EQ(ValuesOf(b.get()), Expected(0, 3));
    EXPECT_EQ(r->Skip(-4), E_FAIL) << "not before the start";
    ASSERT_EQ(r->Skip(500), S_OK) << "past the end is allowed";
    ASSERT_EQ(r->Read(3, b.Out()), S_OK);
    EXPECT_EQ(FramesOf(b.get()), 0);
}

TEST_F(AudioLibrary, FilePeaksConsumeTheStreamFromItsPlace) {
    WriteText(Path("p.wav"), CanonicalWav(1, 250));
    ComPtr<IWavReader> r = OpenFile(Path("p.wav"));
    SAFEARRAY* a = nullptr;
    ASSERT_EQ(r->Peaks(100, &a), S_OK);
    std::vector<Peak> p = PeaksOf(a);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].Min, 0);
    EXPECT_EQ(p[0].Max, 99 * 7);
    EXPECT_EQ(p[1].Max, 199 * 7);
    LONG pos = 0;
    r->get_AbsolutePosition(&pos);
    EXPECT_EQ(pos, 200);
    // From frame 200 on, the second block runs past the end: it stays empty.
    ASSERT_EQ(r->Peaks(100, &a), S_OK);
    p = PeaksOf(a);
    EXPECT_EQ(p[0].Max, 249 * 7);
    EXPECT_EQ(p[1].Min, 32767);
    EXPECT_EQ(p[1].Max, -32768);
    EXPECT_EQ(r->Peaks(0, &a), E_FAIL);

    // 8-bit values read as 0..255.
    std::string data("\x00\x80\xFF\x01", 4);
    WriteText(Path("8.wav"), RiffWave(Chunk("fmt ", FmtBody(1, 8000, 8)) + Chunk("data", data)));
    r = OpenFile(Path("8.wav"));
    ASSERT_EQ(r->Peaks(4, &a), S_OK);
    p = PeaksOf(a);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].Min, 0);
    EXPECT_EQ(p[0].Max, 255);
}

TEST_F(AudioLibrary, NonCanonicalFilesAreReadFromTheirDataChunk) {
    // A longer fmt chunk, LIST and odd-sized chunks before the data, metadata after it.
    std::string fmt = FmtBody(2, 48000, 16);
    Put16(fmt, 0);  // cbSize
    std::string file =
        RiffWave(Chunk("fmt ", fmt) + Chunk("LIST", std::string("INFOISFT\x03\0\0\0abc", 15)) +
                 Chunk("fact", std::string("\x10\0\0\0", 4)) + Chunk("PAD ", std::string(5, 'x')) +
                 Chunk("data", PcmData(200)) + Chunk("smpl", std::string(60, '\x55')));
    WriteText(Path("n.wav"), file);
    ComPtr<IWavReader> r = OpenFile(Path("n.wav"));
    WavHeader h;
    ASSERT_EQ(r->get_Header(&h), S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&h), 4), "RIFF");
    EXPECT_EQ(h.RiffHeader.ChunkSize, 400 + 36);
    EXPECT_EQ(h.FormatHeader.ChunkSize, 16);
    EXPECT_EQ(h.FormatHeader.SampleRate, 48000);
    EXPECT_EQ(h.DataHeader.ChunkSize, 400);
    LONG n = 0;
    r->get_NumSamples(&n);
    EXPECT_EQ(n, 100);
    ComPtr<IWav> b;
    ASSERT_EQ(r->Read(1000, b.Out()), S_OK);
    EXPECT_EQ(ValuesOf(b.get()), Expected(0, 200)) << "trailing chunks are not audio";
    EXPECT_TRUE(AtEnd(r.get()));

    // An extensible header with an integer PCM subformat is PCM.
    std::string ext = FmtBody(1, 44100, 16, 0xFFFE);
    Put16(ext, 22);
    Put16(ext, 16);
    Put32(ext, 4);
    ext += std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
    WriteText(Path("x.wav"), RiffWave(Chunk("fmt ", ext) + Chunk("data", PcmData(10))));
    r = OpenFile(Path("x.wav"));
    ASSERT_EQ(r->Read(-1, b.Out()), S_OK);
    EXPECT_EQ(ValuesOf(b.get()), Expected(0, 10));

    // A data size beyond the file reads to the end of the file.
    std::string cut = CanonicalWav(1, 100);
    cut.resize(44 + 60);
    WriteText(Path("cut.wav"), cut);
    r = OpenFile(Path("cut.wav"));
    ASSERT_EQ(r->Read(-1, b.Out()), S_OK);
    EXPECT_EQ(ValuesOf(b.get()), Expected(0, 30));
    EXPECT_TRUE(AtEnd(r.get()));
}

TEST_F(AudioLibrary, FilesThatAreNotPcmWaveAreAtTheirEndAtOnce) {
    const std::pair<const char*, std::string> cases[] = {
        {"missing.wav", ""},
        {"short.wav", std::string("RIFF\x10\0\0\0WAVEfmt ", 16)},
        {"text.wav", std::string(100, 'a')},
        {"float.wav",
         RiffWave(Chunk("fmt ", FmtBody(1, 44100, 32, 3)) + Chunk("data", PcmData(4)))},
        {"nofmt.wav", RiffWave(Chunk("data", PcmData(4)))},
        {"nochannels.wav",
         RiffWave(Chunk("fmt ", FmtBody(0, 44100, 16)) + Chunk("data", PcmData(4)))},
        {"huge.wav", RiffWave(Chunk("fmt ", FmtBody(1, 44100, 16)) + "LIST\xF0\xFF\xFF\x7F")},
    };
    for (const auto& [name, bytes] : cases) {
        if (!bytes.empty()) WriteText(Path(name), bytes);
        ComPtr<IWavReader> r = OpenFile(Path(name));
        ASSERT_TRUE(r) << name;
        EXPECT_TRUE(AtEnd(r.get())) << name;
        ComPtr<IWav> b;
        ASSERT_EQ(r->Read(-1, b.Out()), S_OK) << name;
        EXPECT_EQ(FramesOf(b.get()), 0) << name;
        LONG n = -1;
        r->get_NumSamples(&n);
        EXPECT_EQ(n, 0) << name;
    }
    // The file object itself never touches the disk.
    ComPtr<IWavFile> f;
    ASSERT_EQ(globals_->WavFile(Bstr("/no/such/dir/x.wav").get(), f.Out()), S_OK);
    Bstr path;
    ASSERT_EQ(f->get_Path(path.Out()), S_OK);
    EXPECT_EQ(path.utf8(), "/no/such/dir/x.wav");
    ComPtr<IWav> w;
    EXPECT_EQ(f->ReadAll(w.Out()), E_NOTIMPL);
    EXPECT_EQ(globals_->LoadWav(Bstr(Path("a.wav")).get(), w.Out()), E_NOTIMPL);
    ComPtr<IWavWriter> writer;
    EXPECT_EQ(f->Create(2, 44100, 2, writer.Out()), E_NOTIMPL);
}
