// The waveform of one WAV file, one column of pixels per peak (the minimum
// and maximum of a block of frames), with a stretch selected by the mouse
// and played through the shared AvSystem. A canvas over the host window
// asks the view to erase and paint; the view draws its lines on the host.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OvraAudio.h"
#include "canvas/canvas.h"
#include "com/comptr.h"
#include "sound/event_service.h"

class PeakView : public ICanvas2Events {
  public:
    PeakView() = default;
    PeakView(const PeakView&) = delete;
    PeakView& operator=(const PeakView&) = delete;
    ~PeakView();

    // ---- public operations, in their order -------------------------------
    // The column of a frame: index / NumSamplesPerPeak - FirstPeak.
    LONG ScreenPositionFromSampleIndex(LONG index) const;
    // Plays the selection (from SelectionStart to the end without one), mixed
    // with the companion file.
    void PlaySelection();
    void StopPlaying();
    bool IsPlaying() const { return isPlaying_; }
    LONG hwnd() const { return hwnd_; }
    LONG PlaybackPosition() const { return firstPeak_; }
    // Scrolls so that the peak of a position (a byte position less 195000)
    // beyond the right edge comes to column 0.
    void SetPlaybackPosition(LONG value);
    void BeginSelection(LONG x);
    void ContinueSelection(LONG x);
    void FinishSelection(LONG x);
    bool IsSelecting() const { return isSelecting_; }
    // Peaks of interleaved values, every value of each block examined.
    void CalcPeaks(const std::vector<AudioSample>& samples, LONG numBytesPerSample,
                   SHORT numChannels);

    // ---- for the host window ---------------------------------------------
    // Binds the view to its host (also its event sink) and file and computes
    // the peaks of the whole file so that it spans the screen's width.
    void Attach(QWidget* host, DirectXEvent8* sink, IWavFile* file);
    // The same for a screen screenWidth pixels wide.
    void Attach(QWidget* host, DirectXEvent8* sink, IWavFile* file, LONG screenWidth);
    // The same for audio in memory (0: the real screen's width).
    void Attach(QWidget* host, DirectXEvent8* sink, IWav* audio, LONG screenWidth);
    // Forwards a playback notification to the AvSystem.
    void DXCallback(LONG eventid);
    // The companion file mixed into every playback: SampleCompanion.wav
    // beside the executable unless set. When it does not exist the shown
    // file plays alone.
    void SetCompanionPath(const std::string& path) { companionPath_ = path; }

    // ---- ICanvas2Events ----------------------------------------------------
    void EraseBackground(Canvas& canvas, const CanvasRect& clippingRectangle,
                         bool& allowNormalErase) override;
    void Paint(Canvas& canvas, const CanvasRect& clippingRectangle,
               bool& allowNormalPainting) override;

    // ---- the fields, for the host and tests -------------------------------
    LONG FirstPeak() const { return firstPeak_; }
    const CanvasRect& ClientRect() const { return clientRect_; }
    LONG BytesPerSample() const { return bytesPerSample_; }
    SHORT NumChannels() const { return numChannels_; }
    float XScale() const { return xScale_; }
    float YScale() const { return yScale_; }
    LONG SelectionStart() const { return selectionStart_; }
    LONG SelectionEnd() const { return selectionEnd_; }
    std::uint32_t SelectionColour() const { return selectionColour_; }
    std::uint32_t ShadeColour() const { return shadeColour_; }
    const std::vector<Peak>& Peaks() const { return peaks_; }
    LONG NumSamplesPerPeak() const { return numSamplesPerPeak_; }
    // The vertical mapping: -32768 at y 0, 32767 at y 512.
    LONG YFromSample(AudioSample v) const;

  private:
    LONG SampleIndexFromScreenPosition(LONG x) const;
    // The companion's audio; null when the file does not exist.
    ComPtr<IWav> Companion() const;
    void InvalidateSelection();

    DirectXEvent8* sink_ = nullptr;
    LONG hwnd_ = 0;
    std::unique_ptr<Canvas> canvasWindow_;
    LONG firstPeak_ = 0;
    CanvasRect clientRect_;
    LONG bytesPerSample_ = 0;
    SHORT numChannels_ = 0;
    float xScale_ = 0;
    float yScale_ = 0;
    LONG selectionStart_ = 0;
    LONG selectionEnd_ = 0;
    std::uint32_t selectionColour_ = 0;
    std::uint32_t shadeColour_ = 0;
    // What is shown and played: it opens readers on the audio.
    using ReaderSource = std::function<HRESULT(IWavReader**)>;
    void AttachSource(QWidget* host, DirectXEvent8* sink, ReaderSource source, LONG screenWidth);
    ReaderSource source_;
    bool isSelecting_ = false;
    bool isPlaying_ = false;
    std::vector<Peak> peaks_;
    LONG numSamplesPerPeak_ = 0;
    std::string companionPath_;
};

// The green of the columns outside the selection.
constexpr std::uint32_t kPeakGreen = 0x00FF00;
