#include "sample.h"

#include <cstring>

#include "audio_library.h"
#include "song_io.h"

void Sample::WriteToFile(BinaryStream& out) const {
    SAFEARRAY* image = nullptr;
    if (wav_) Check(wav_->ToByteArray(&image));
    struct ImageGuard {
        SAFEARRAY* a;
        ~ImageGuard() { SafeArrayDestroy(a); }
    } guard{image};
    std::uint8_t captionLength = ToByte(static_cast<long long>(caption_.size()));
    LONG length = image ? static_cast<LONG>(image->rgsabound[0].cElements) : 0;
    std::uint8_t header[6] = {captionLength, static_cast<std::uint8_t>(image ? 1 : 0)};
    std::memcpy(header + 2, &length, 4);
    out.WriteBytes(header, sizeof header);
    ByteArray caption(caption_.size() * 2);
    for (std::size_t i = 0; i < caption_.size(); ++i) {
        caption[2 * i] = static_cast<std::uint8_t>(caption_[i] & 0xFF);
        caption[2 * i + 1] = static_cast<std::uint8_t>(caption_[i] >> 8);
    }
    out.WriteBytes(caption);
    if (length > 0) out.WriteBytes(image->pvData, static_cast<std::size_t>(length));
}

void Sample::ReadFromFile(BinaryStream& in) {
    ByteArray header = ReadExactly(in, 6);
    if (header[0] != 0) {
        ByteArray bytes = ReadExactly(in, 2 * header[0]);
        std::u16string caption(header[0], u'\0');
        for (std::size_t i = 0; i < caption.size(); ++i)
            caption[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        caption_ = std::move(caption);
    }
    LONG length;
    std::memcpy(&length, &header[2], 4);
    if (header[1] == 1 && length > 0) {
        ByteArray bytes = ReadExactly(in, length);
        SAFEARRAY* image = SafeArrayCreateVectorUninit(VT_UI1, 0, static_cast<ULONG>(length));
        if (!image) Check(E_OUTOFMEMORY);
        std::memcpy(image->pvData, bytes.data(), bytes.size());
        ComPtr<IWav> wav;
        HRESULT hr = AudioLibrary()->ReadWavFromArray(&image, wav.Out());
        SafeArrayDestroy(image);
        Check(hr);
        wav_ = std::move(wav);
    }
}
