#include "ui/groove_dialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "support/wav_values.h"

namespace {

struct ResolutionChoice {
    int ticksPerBeat;
    const char* name;
};
constexpr ResolutionChoice kResolutions[] = {{2, "Eighths (2 a beat)"},
                                             {3, "Eighth triplets (3 a beat)"},
                                             {4, "Sixteenths (4 a beat)"},
                                             {6, "Sixteenth triplets (6 a beat)"},
                                             {8, "Thirty-seconds (8 a beat)"}};

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

}  // namespace

LoopFormatDialog::LoopFormatDialog(const LoopFormat& format, QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Loop Length"));
    auto* form = new QFormLayout;
    ticks_ = new QSpinBox(this);
    ticks_->setRange(1, LoopFormat::kMaxTicks);
    ticks_->setValue(format.ticks);
    ticks_->setToolTip(QStringLiteral("Ticks in one pass of the loop"));
    resolution_ = new QComboBox(this);
    for (const ResolutionChoice& r : kResolutions) {
        resolution_->addItem(QString::fromUtf8(r.name), r.ticksPerBeat);
        if (r.ticksPerBeat == format.ticksPerBeat)
            resolution_->setCurrentIndex(resolution_->count() - 1);
    }
    form->addRow(QStringLiteral("&Ticks:"), ticks_);
    form->addRow(QStringLiteral("&Resolution:"), resolution_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(OkCancel(this));
}

LoopFormat LoopFormatDialog::Format() const {
    return {std::uint8_t(ticks_->value()), std::uint8_t(resolution_->currentData().toInt())};
}

HumanizeDialog::HumanizeDialog(const Humanize& humanize, QWidget* owner)
    : QDialog(owner), seed_(humanize.seed) {
    setWindowTitle(QStringLiteral("Humanize"));
    auto* form = new QFormLayout;
    timing_ = new QSpinBox(this);
    timing_->setRange(0, Humanize::kMaxTiming);
    timing_->setSuffix(QStringLiteral(" ms"));
    timing_->setValue(humanize.timing);
    timing_->setToolTip(QStringLiteral("How far each hit may land early or late"));
    velocity_ = new QSpinBox(this);
    velocity_->setRange(0, Humanize::kMaxVelocity);
    velocity_->setSuffix(QStringLiteral(" %"));
    velocity_->setValue(humanize.velocity);
    velocity_->setToolTip(QStringLiteral("How much softer or louder each hit may play"));
    auto* again = new QPushButton(QStringLiteral("&Vary Again"), this);
    again->setToolTip(QStringLiteral("Another variation of the same amounts"));
    connect(again, &QPushButton::clicked, this,
            [this] { seed_ = QRandomGenerator::global()->generate(); });
    form->addRow(QStringLiteral("&Timing:"), timing_);
    form->addRow(QStringLiteral("V&elocity:"), velocity_);
    form->addRow(QString(), again);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(OkCancel(this));
}

Humanize HumanizeDialog::Value() const {
    return {std::uint8_t(timing_->value()), std::uint8_t(velocity_->value()), seed_};
}

TrimView::TrimView(const ComPtr<IWav>& wav, QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 64);
    if (!wav) return;
    SHORT channels = 1;
    LONG frames = 0;
    wav->get_NumChannels(&channels);
    wav->get_NumSamples(&frames);
    frames_ = frames;
    end_ = frames;
    std::vector<AudioSample> values;
    try {
        values = ReadWavValues(wav.get());
    } catch (...) {
        return;  // nothing to draw
    }
    // One column per share of 512 of the first channel.
    const std::size_t ch = std::size_t(std::max<SHORT>(channels, 1));
    const std::size_t n = values.size() / ch;
    const std::size_t columns = std::min<std::size_t>(512, n);
    for (std::size_t c = 0; c < columns; ++c) {
        float lo = 0, hi = 0;
        for (std::size_t f = c * n / columns; f < (c + 1) * n / columns; ++f) {
            const float v = float(values[f * ch]) / 32768.0f;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        columns_.emplace_back(lo, hi);
    }
}

void TrimView::SetTrim(long start, long end) {
    start_ = std::clamp(start, 0L, frames_);
    end_ = std::clamp(end <= 0 ? frames_ : end, start_, frames_);
    update();
}

double TrimView::GreyLeft() const {
    return frames_ > 0 ? double(start_) / double(frames_) : 0.0;
}

double TrimView::GreyRight() const {
    return frames_ > 0 ? double(frames_ - end_) / double(frames_) : 0.0;
}

void TrimView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    const int w = width(), h = height(), mid = h / 2;
    p.setPen(palette().color(QPalette::Text));
    for (int x = 0; x < w && !columns_.empty(); ++x) {
        const auto& [lo, hi] = columns_[std::size_t(x) * columns_.size() / std::size_t(w)];
        p.drawLine(x, mid - int(hi * float(mid)), x, mid - int(lo * float(mid)));
    }
    // What does not play, greyed.
    const QColor grey(128, 128, 128, 160);
    p.fillRect(QRect(0, 0, int(std::lround(GreyLeft() * w)), h), grey);
    const int right = int(std::lround(GreyRight() * w));
    p.fillRect(QRect(w - right, 0, right, h), grey);
}

TrackSettingsDialog::TrackSettingsDialog(const TrackSettings& settings, QWidget* owner)
    : QDialog(owner), settings_(settings) {
    setWindowTitle(QStringLiteral("Track Settings"));
    if (settings.wav) settings.wav->get_SampleRate(&rate_);
    if (rate_ <= 0) rate_ = 44100;
    auto* form = new QFormLayout;
    name_ = new QLineEdit(QString::fromStdU16String(settings.caption), this);
    name_->setMaxLength(255);
    auto* sample = new QPushButton(QStringLiteral("&Choose..."), this);
    sample->setToolTip(QStringLiteral("Load another sample on this track"));
    connect(sample, &QPushButton::clicked, this, [this] {
        settings_.chooseSample = true;
        accept();
    });
    volume_ = new QSpinBox(this);
    volume_->setRange(0, TrackMix::kMaxVolume);
    volume_->setSuffix(QStringLiteral(" %"));
    volume_->setValue(settings.volume);
    pan_ = new QSpinBox(this);
    pan_->setRange(-TrackSound::kMaxPan, TrackSound::kMaxPan);
    pan_->setValue(settings.sound.pan);
    pan_->setToolTip(QStringLiteral("-100 hard left, 0 centre, 100 hard right"));
    pitch_ = new QDoubleSpinBox(this);
    pitch_->setRange(-24.0, 24.0);
    pitch_->setDecimals(2);
    pitch_->setSingleStep(1.0);
    pitch_->setSuffix(QStringLiteral(" semitones"));
    pitch_->setValue(settings.sound.pitch / 100.0);
    trim_ = new TrimView(settings.wav, this);
    const double total = 1000.0 * double(trim_->Frames()) / double(rate_);
    start_ = new QDoubleSpinBox(this);
    end_ = new QDoubleSpinBox(this);
    for (QDoubleSpinBox* b : {start_, end_}) {
        b->setRange(0.0, total);
        b->setDecimals(1);
        b->setSuffix(QStringLiteral(" ms"));
    }
    start_->setValue(1000.0 * double(settings.sound.start) / double(rate_));
    end_->setValue(settings.sound.end == 0 ? total
                                           : 1000.0 * double(settings.sound.end) / double(rate_));
    connect(start_, &QDoubleSpinBox::valueChanged, this, [this] { ShowTrim(); });
    connect(end_, &QDoubleSpinBox::valueChanged, this, [this] { ShowTrim(); });
    reverse_ = new QCheckBox(QStringLiteral("Play &reversed"), this);
    reverse_->setChecked(settings.sound.reverse);
    choke_ = new QSpinBox(this);
    choke_->setRange(0, TrackSound::kMaxChokeGroup);
    choke_->setSpecialValueText(QStringLiteral("None"));
    choke_->setValue(settings.sound.choke);
    choke_->setToolTip(QStringLiteral("A hit ends the sounds of the group's other tracks"));
    note_ = new QSpinBox(this);
    note_->setRange(0, 127);
    note_->setValue(settings.midiNote >= 0 ? settings.midiNote : settings.defaultNote);
    form->addRow(QStringLiteral("&Name:"), name_);
    form->addRow(QStringLiteral("Sample:"), sample);
    form->addRow(QStringLiteral("&Volume:"), volume_);
    form->addRow(QStringLiteral("&Pan:"), pan_);
    form->addRow(QStringLiteral("P&itch:"), pitch_);
    form->addRow(trim_);
    form->addRow(QStringLiteral("&Start:"), start_);
    form->addRow(QStringLiteral("&End:"), end_);
    form->addRow(QString(), reverse_);
    form->addRow(QStringLiteral("C&hoke group:"), choke_);
    form->addRow(QStringLiteral("&MIDI note:"), note_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(OkCancel(this));
    ShowTrim();
}

void TrackSettingsDialog::ShowTrim() {
    const TrackSettings s = Settings();
    trim_->SetTrim(long(s.sound.start), long(s.sound.end));
}

TrackSettings TrackSettingsDialog::Settings() const {
    TrackSettings s = settings_;
    s.caption = name_->text().toStdU16String();
    s.volume = volume_->value();
    s.sound.pan = std::int16_t(pan_->value());
    s.sound.pitch = std::int16_t(std::lround(pitch_->value() * 100.0));
    auto frame = [this](double ms) {
        return std::uint32_t(
            std::clamp(std::llround(ms * double(rate_) / 1000.0), 0LL, (long long)trim_->Frames()));
    };
    s.sound.start = frame(start_->value());
    const std::uint32_t end = frame(end_->value());
    // The whole sample is "to its end"; an end at or before the start
    // plays from the start to the sample's end.
    s.sound.end = end >= std::uint32_t(trim_->Frames()) || end <= s.sound.start ? 0 : end;
    s.sound.reverse = reverse_->isChecked();
    s.sound.choke = std::uint8_t(choke_->value());
    s.midiNote =
        note_->value() == settings_.defaultNote && settings_.midiNote < 0 ? -1 : note_->value();
    return s;
}
