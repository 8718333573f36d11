#include "sound/virtual_device.h"

#include "sound/event_service.h"

namespace {

// A buffer of the virtual device, lost when the device is.
class VirtualBuffer : public DirectSoundSecondaryBuffer8 {
  public:
    VirtualBuffer(const DSBUFFERDESC& desc, std::shared_ptr<std::atomic<bool>> lost)
        : DirectSoundSecondaryBuffer8(desc, nullptr), lost_(std::move(lost)) {}
    bool Lost() const override { return lost_->load(); }

  private:
    std::shared_ptr<std::atomic<bool>> lost_;
};

}  // namespace

std::shared_ptr<DirectSoundSecondaryBuffer8> VirtualDevice::CreateBuffer(const DSBUFFERDESC& desc) {
    if (desc.fxFormat.nChannels < 1 || desc.lBufferBytes < 1) return nullptr;
    buffer_ = std::make_shared<VirtualBuffer>(desc, lost_);
    ++created_;
    return buffer_;
}

void VirtualDevice::AdvanceFrames(long frames) {
    long align = buffer_ ? buffer_->Format().nBlockAlign : 1;
    AdvanceBytes(frames * (align > 0 ? align : 1));
}

void VirtualDevice::AdvanceBytes(long bytes) {
    if (buffer_ && bytes > 0) {
        std::size_t at = played_.size();
        played_.resize(at + static_cast<std::size_t>(bytes));
        buffer_->Render(played_.data() + at, static_cast<std::size_t>(bytes));
    }
    EventService::Instance().DeliverPending();
}
