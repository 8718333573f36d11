#include "wave/peak_view.h"

#include <QCoreApplication>
#include <QScreen>
#include <cmath>
#include <fstream>

#include "com/bstr.h"
#include "import/audio_import.h"
#include "output/av_module.h"
#include "song/mix_reader.h"
#include "support/app_error.h"
#include "support/audio_library.h"
#include "support/integers.h"
#include "support/paths.h"

namespace {

constexpr LONG kDrawingBottom = 512;  // y of the sample value 32767
constexpr char kFarOff[] = "A position in the waveform is too far off to show";

[[noreturn]] void ThrowNoPeaks() {
    ThrowError(kErrDivisionByZero, "The waveform has not been measured: no file is shown");
}

[[noreturn]] void ThrowNoFile() {
    ThrowError(kErrObjectNotSet, "No sound file is shown");
}

}  // namespace

PeakView::~PeakView() {
    if (canvasWindow_) canvasWindow_->SetEventHandler(nullptr);
}

LONG PeakView::ScreenPositionFromSampleIndex(LONG index) const {
    if (numSamplesPerPeak_ == 0) ThrowNoPeaks();
    return CheckedLong(static_cast<long long>(index / numSamplesPerPeak_) - firstPeak_, kFarOff);
}

LONG PeakView::SampleIndexFromScreenPosition(LONG x) const {
    return CheckedLong((static_cast<long long>(x) + firstPeak_) * numSamplesPerPeak_, kFarOff);
}

LONG PeakView::YFromSample(AudioSample v) const {
    return RoundToLong((double(v) + 32768.0) * double(yScale_), kFarOff);
}

ComPtr<IWav> PeakView::Companion() const {
    std::string path = companionPath_;
    if (path.empty())
        path = CombinePath(QCoreApplication::applicationDirPath().toStdString(),
                           "SampleCompanion.wav");
    // Without the file the mix holds the shown file alone. It is converted
    // as the shown audio is, so the two mix frame for frame.
    if (!std::ifstream(path)) return nullptr;
    return ImportAudioFile(path).wav;
}

namespace {
LONG ScreenWidthOf(const QWidget* host) {
    const QScreen* screen = host->screen();
    return screen ? LONG{screen->geometry().width()} : 1024;
}
}  // namespace

void PeakView::Attach(QWidget* host, DirectXEvent8* sink, IWavFile* file) {
    Attach(host, sink, file, ScreenWidthOf(host));
}

void PeakView::Attach(QWidget* host, DirectXEvent8* sink, IWavFile* file, LONG screenWidth) {
    if (!file) ThrowNoFile();
    ComPtr<IWavFile> held(file);
    AttachSource(
        host, sink, [held](IWavReader** r) { return held->OpenReader(r); }, screenWidth);
}

void PeakView::Attach(QWidget* host, DirectXEvent8* sink, IWav* audio, LONG screenWidth) {
    if (!audio) ThrowNoFile();
    ComPtr<IWav> held(audio);
    if (screenWidth <= 0) screenWidth = ScreenWidthOf(host);
    AttachSource(
        host, sink, [held](IWavReader** r) { return held->OpenReader(r); }, screenWidth);
}

void PeakView::AttachSource(QWidget* host, DirectXEvent8* sink, ReaderSource source,
                            LONG screenWidth) {
    if (screenWidth <= 0) ThrowError(kErrDivisionByZero, "The screen has no width to draw on");
    ComPtr<IWavReader> reader;
    Doing("read the sound", [&] { Check(source(reader.Out())); });
    selectionEnd_ = -1;
    selectionColour_ = Canvas::ColorFromComponents(8, 64, 16, 0);
    shadeColour_ = Canvas::ColorFromComponents(220, 220, 220, 0);
    xScale_ = 1.0f;
    yScale_ = 1.0f / 128;
    sink_ = sink;
    canvasWindow_ = std::make_unique<Canvas>(host);
    hwnd_ = canvasWindow_->hwnd();
    canvasWindow_->SetEventHandler(this);
    SafeArrayPtr peaks;
    Doing("read the sound", [&] {
        SHORT bytes = 0;
        Check(reader->get_BytesPerSample(&bytes));
        bytesPerSample_ = bytes;
        Check(reader->get_NumChannels(&numChannels_));
        ComPtr<IWav> wav;
        Check(reader->Read(-1, wav.Out()));
        LONG frames = 0;
        Check(wav->get_NumSamples(&frames));
        // The whole file spans the screen's width; a file shorter than half
        // of it gets one frame per peak, not none.
        numSamplesPerPeak_ = MaxLong(1, RoundToLong(double(frames) / double(screenWidth), kFarOff));
        Check(wav->Peaks(numSamplesPerPeak_, peaks.Out()));
    });
    peaks_.assign(peaks.Data<const Peak>(), peaks.Data<const Peak>() + peaks.Count());
    source_ = std::move(source);
    clientRect_ = Canvas::ClientRect(host);
}

void PeakView::EraseBackground(Canvas& canvas, const CanvasRect& clippingRectangle, bool&) {
    Canvas::FillRect(canvas.DeviceContext(), clippingRectangle, 0, 255);
}

void PeakView::Paint(Canvas& canvas, const CanvasRect& clip, bool&) {
    QPainter* dc = canvas.DeviceContext();
    const LONG ub = LONG(peaks_.size()) - 1;
    const LONG x1 = ScreenPositionFromSampleIndex(selectionStart_);
    const LONG x2 = ScreenPositionFromSampleIndex(selectionEnd_);
    const LONG last =
        RoundToLong(double(clip.Right - clip.Left) / double(xScale_) + clip.Left, kFarOff);
    // Column Left itself is not drawn.
    for (LONG x = clip.Left + 1; x <= last && static_cast<long long>(firstPeak_) + x <= ub; ++x) {
        const Peak& p = peaks_[std::size_t(firstPeak_ + x)];
        const float yMax = float(YFromSample(p.Max));
        const bool inside = x1 <= x && x <= x2;
        const float fx = xScale_ * float(x);
        if (numSamplesPerPeak_ == 1) {
            Canvas::DrawLine(dc, xScale_ * float(x - 1), yMax, fx, yMax,
                             inside ? selectionColour_ : kPeakGreen);
            continue;
        }
        const float yMin = float(YFromSample(p.Min));
        if (inside) {
            // The column above and below the peak is shaded.
            Canvas::DrawLine(dc, fx, yMax, fx, float(kDrawingBottom), shadeColour_);
            Canvas::DrawLine(dc, fx, yMin, fx, 0, shadeColour_);
            Canvas::DrawLine(dc, fx, yMax, fx, yMin, selectionColour_);
        } else {
            Canvas::DrawLine(dc, fx, yMax, fx, yMin, kPeakGreen);
        }
    }
    clientRect_ = Canvas::ClientRect(canvas.Window());
}

void PeakView::InvalidateSelection() {
    if (selectionEnd_ < 0 || !canvasWindow_) return;
    CanvasRect r = Canvas::MakeRect(ScreenPositionFromSampleIndex(selectionStart_), 0,
                                    ScreenPositionFromSampleIndex(selectionEnd_), kDrawingBottom);
    Canvas::NormalizeRect(r);
    r.Right += 1;
    canvasWindow_->InvalidateRect(r);
}

void PeakView::BeginSelection(LONG x) {
    InvalidateSelection();
    selectionStart_ = SampleIndexFromScreenPosition(x);
    isSelecting_ = true;
    selectionEnd_ = selectionStart_;
    InvalidateSelection();
}

void PeakView::ContinueSelection(LONG x) {
    InvalidateSelection();
    selectionEnd_ = SampleIndexFromScreenPosition(x);
    isSelecting_ = true;
    InvalidateSelection();
}

void PeakView::FinishSelection(LONG x) {
    InvalidateSelection();
    const LONG e = SampleIndexFromScreenPosition(x);
    isSelecting_ = false;
    selectionEnd_ = e;
    if (e >= 0) {
        if (e == selectionStart_)
            selectionEnd_ = -1;  // a click selects nothing
        else if (e < selectionStart_)
            std::swap(selectionStart_, selectionEnd_);
    }
    InvalidateSelection();
}

void PeakView::PlaySelection() {
    isPlaying_ = true;
    if (!source_) ThrowNoFile();
    std::vector<ComPtr<IWavReader>> readers(1);
    Doing("play the selection", [&] {
        Check(source_(readers[0].Out()));
        if (ComPtr<IWav> companion = Companion()) {
            readers.emplace_back();
            Check(companion->OpenReader(readers.back().Out()));
        }
    });
    ComPtr<IWavReader> reader = MixReaders(readers);
    GetAvSystem().PlayAudio(reader.get(), {.hwnd = hwnd_,
                                           .EventSink = sink_,
                                           .StartPos = selectionStart_,
                                           .EndPos = selectionEnd_,
                                           .PlayLoop = false,
                                           .HalfBufferSize = -1});
}

void PeakView::StopPlaying() {
    isPlaying_ = false;
    GetAvSystem().StopPlaying();
}

void PeakView::SetPlaybackPosition(LONG value) {
    const long long divisor = static_cast<long long>(bytesPerSample_) * numSamplesPerPeak_;
    if (divisor == 0) ThrowNoPeaks();
    const LONG c = CheckedLong((static_cast<long long>(value) - 195000) / divisor, kFarOff);
    if (double(clientRect_.Right) / double(xScale_) + firstPeak_ < double(c)) firstPeak_ = c;
}

void PeakView::CalcPeaks(const std::vector<AudioSample>& samples, LONG, SHORT numChannels) {
    const long long block = static_cast<long long>(numChannels) * numSamplesPerPeak_;
    if (block <= 0) ThrowNoPeaks();
    const long long k = static_cast<long long>(samples.size()) / block;
    std::vector<Peak> peaks(static_cast<std::size_t>(k));
    for (long long j = 0; j < k; ++j)
        peaks[std::size_t(j)] = PeakOf(&samples[std::size_t(j * block)], std::size_t(block));
    peaks_ = std::move(peaks);
}

void PeakView::DXCallback(LONG eventid) {
    GetAvSystem().HandleNotification(eventid, false);
}
