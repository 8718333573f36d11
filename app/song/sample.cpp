#include "song/sample.h"

#include <cstring>

#include "song/song_io.h"
#include "support/audio_library.h"

void Sample::WriteToFile(BinaryStream& out) const {
    using namespace song_format;
    SafeArrayPtr image;
    if (wav_) Check(wav_->ToByteArray(image.Out()));
    const LONG length = static_cast<LONG>(image.Count());
    // Only audio that reads back: the reader refuses what no output plays.
    if (image)
        if (const char* problem = WavImageProblem(image.Bytes(), image.Count()))
            ThrowError(kErrInvalidArgument,
                       std::string("A song file cannot hold audio with ") + problem);
    std::uint8_t header[kSampleHeaderSize] = {
        CountByte(static_cast<long long>(caption_.size()), "characters in a caption"),
        static_cast<std::uint8_t>(image ? kHasAudio : 0)};
    std::memcpy(header + kSampleHeaderAudioLength, &length, 4);
    out.WriteBytes(header, sizeof header);
    ByteArray caption(caption_.size() * 2);
    for (std::size_t i = 0; i < caption_.size(); ++i) {
        caption[2 * i] = static_cast<std::uint8_t>(caption_[i] & 0xFF);
        caption[2 * i + 1] = static_cast<std::uint8_t>(caption_[i] >> 8);
    }
    out.WriteBytes(caption);
    if (length > 0) out.WriteBytes(image.Bytes(), static_cast<std::size_t>(length));
}

namespace {
[[noreturn]] void ThrowAudioCut(long long missing) {
    ThrowError(kErrUnexpectedEof, "expected " + Thousands(missing) + " more bytes of audio");
}
}  // namespace

void Sample::ReadFromFile(BinaryStream& in) {
    using namespace song_format;
    ByteArray header = ReadExactly(in, kSampleHeaderSize, "the header");
    LONG length;
    std::memcpy(&length, &header[kSampleHeaderAudioLength], 4);
    // The flag and the length as the writer leaves them: no audio, or a
    // whole WAV image.
    if (header[1] != 0 && header[1] != kHasAudio)
        ThrowNotASong("an audio flag of " + std::to_string(header[1]));
    if (header[1] == 0 && length != 0)
        ThrowNotASong("an audio length of " + Thousands(length) + " without audio");
    if (header[1] == kHasAudio && length < static_cast<LONG>(sizeof(WavHeader)))
        ThrowNotASong("an audio length of " + Thousands(length));
    if (header[0] != 0) {
        ByteArray bytes = ReadExactly(in, 2 * header[0], "the caption");
        std::u16string caption(header[0], u'\0');
        for (std::size_t i = 0; i < caption.size(); ++i)
            caption[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        caption_ = std::move(caption);
    }
    if (header[1] == kHasAudio) {
        // Straight from the stream into the array the library reads, and
        // never an array larger than what the stream still holds.
        const long long left = in.BytesLeft();
        if (left >= 0 && left < length) ThrowAudioCut(length - left);
        SafeArrayPtr image(SafeArrayCreateVectorUninit(VT_UI1, 0, static_cast<ULONG>(length)));
        if (!image) Check(E_OUTOFMEMORY);
        const std::size_t got = in.ReadBytesInto(image.Bytes(), static_cast<std::size_t>(length));
        if (got < static_cast<std::size_t>(length))
            ThrowAudioCut(length - static_cast<long long>(got));
        if (const char* problem = WavImageProblem(image.Bytes(), image.Count()))
            ThrowNotASong(std::string("audio that is no WAV image (") + problem + ")");
        SAFEARRAY* bytesArg = image.get();
        ComPtr<IWav> wav;
        Check(AudioLibrary()->ReadWavFromArray(&bytesArg, wav.Out()));
        wav_ = std::move(wav);
    }
}
