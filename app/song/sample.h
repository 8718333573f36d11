// The sample of a track: its audio and the caption on its button.
#pragma once

#include <string>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "support/file_streams.h"

class Sample {
  public:
    const ComPtr<IWav>& Wav() const { return wav_; }
    void SetWav(ComPtr<IWav> wav) { wav_ = std::move(wav); }
    const std::u16string& Caption() const { return caption_; }
    void SetCaption(std::u16string caption) { caption_ = std::move(caption); }

    void WriteToFile(BinaryStream& out) const;
    void ReadFromFile(BinaryStream& in);

  private:
    ComPtr<IWav> wav_;
    std::u16string caption_;
};
