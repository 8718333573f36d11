#include "ui/sequence_control.h"

#include <cmath>

#include "forms/twips.h"
#include "support/app_error.h"
#include "support/integers.h"
#include "ui/tick_box.h"

namespace {
// Designed positions in twips, relative to the row.
constexpr double kButtonWidth = 1215, kButtonHeight = 255;
constexpr double kCheckLeft = 1320, kCheckWidth = 255, kCheckHeight = 255;
constexpr LONG kDefaultTicks = 16;
// The ticks that take the row's whole width at full size; more share it.
constexpr LONG kFullSizeTicks = 32;

double BoxWidth(LONG ticks, bool shared) {
    return !shared || ticks <= kFullSizeTicks ? kCheckWidth
                                              : kCheckWidth * kFullSizeTicks / double(ticks);
}
}  // namespace

SequenceControl::SequenceControl(QWidget* parent) : QWidget(parent) {
    PlaceInTwips(this, 0, 0, 6990, 270);
    sampleButton_ = std::make_unique<QPushButton>(this);
    sampleButton_->setObjectName("SampleButton");
    PlaceInTwips(sampleButton_.get(), 0, 0, kButtonWidth, kButtonHeight);
    connect(sampleButton_.get(), &QPushButton::clicked, this, &SequenceControl::SampleButtonClick);
    sampleButton_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(sampleButton_.get(), &QPushButton::customContextMenuRequested, this,
            [this](const QPoint& at) { emit SampleButtonMenu(sampleButton_->mapToGlobal(at)); });
    SetNumTicks(kDefaultTicks);
}

SequenceControl::~SequenceControl() = default;

void SequenceControl::SetNumTicks(LONG n) {
    n = MaxLong(4, MinLong(n, 128));
    while (LONG(checks_.size()) > n) checks_.pop_back();
    const bool resized = BoxWidth(n, shareWidth_) != BoxWidth(numTicks_, shareWidth_);
    numTicks_ = n;
    if (resized) PlaceBoxes();
    while (LONG(checks_.size()) < n) {
        const LONG i = LONG(checks_.size());
        auto box = std::make_unique<TickBox>(this);
        box->setObjectName(QStringLiteral("Check%1").arg(i));
        box->setTristate(false);
        PlaceInTwips(box.get(), double(CheckLeft(i)), 0, BoxWidth(n, shareWidth_), kCheckHeight);
        connect(box.get(), &QCheckBox::toggled, this,
                [this, i](bool) { emit TickChange(static_cast<short>(i)); });
        box->onVelocityDrag = [this, i](int v) { emit VelocityChange(static_cast<short>(i), v); };
        box->setVisible(true);
        checks_.push_back(std::move(box));
    }
    SetTicksPerBeat(ticksPerBeat_);
}

void SequenceControl::PlaceBoxes() {
    for (std::size_t i = 0; i < checks_.size(); ++i)
        PlaceInTwips(checks_[i].get(), double(CheckLeft(LONG(i))), 0,
                     BoxWidth(numTicks_, shareWidth_), kCheckHeight);
}

void SequenceControl::SetShareWidth(bool share) {
    if (share == shareWidth_) return;
    shareWidth_ = share;
    PlaceBoxes();
}

void SequenceControl::SetTicksPerBeat(int n) {
    ticksPerBeat_ = n > 0 ? n : 4;
    // Every other beat shaded, so that the beats can be counted.
    for (std::size_t i = 0; i < checks_.size(); ++i)
        static_cast<TickBox*>(checks_[i].get())->SetShaded((int(i) / ticksPerBeat_) % 2 == 1);
}

QCheckBox* SequenceControl::Check(LONG i) const {
    return i >= 0 && i < LONG(checks_.size()) ? checks_[std::size_t(i)].get() : nullptr;
}

namespace {
[[noreturn]] void ThrowNoBox(LONG tickIndex, LONG boxes) {
    ThrowSubscriptOutOfRange("Tick " + std::to_string(tickIndex) + " does not exist: the row has " +
                             std::to_string(boxes) + " ticks");
}
}  // namespace

bool SequenceControl::Value(LONG tickIndex) const {
    QCheckBox* box = Check(tickIndex);
    if (!box) ThrowNoBox(tickIndex, numTicks_);
    return box->isChecked();
}

void SequenceControl::SetValue(LONG tickIndex, bool on) {
    QCheckBox* box = Check(tickIndex);
    if (!box) ThrowNoBox(tickIndex, numTicks_);
    box->setChecked(on);  // toggled, and with it TickChange, only on a change
}

void SequenceControl::SetVelocity(LONG tickIndex, int velocity) {
    auto* box = static_cast<TickBox*>(Check(tickIndex));
    if (!box) ThrowNoBox(tickIndex, numTicks_);
    box->SetVelocity(velocity);
}

int SequenceControl::Velocity(LONG tickIndex) const {
    auto* box = static_cast<TickBox*>(Check(tickIndex));
    if (!box) ThrowNoBox(tickIndex, numTicks_);
    return box->Velocity();
}

void SequenceControl::SetCaption(const std::u16string& caption) {
    caption_ = caption;
    sampleButton_->setText(QString::fromStdU16String(caption));
}

LONG SequenceControl::CheckLeft(LONG tickIndex) const {
    return static_cast<LONG>(
        std::nearbyint(kCheckLeft + double(tickIndex) * BoxWidth(numTicks_, shareWidth_)));
}

LONG SequenceControl::CheckWidth() const {
    return static_cast<LONG>(std::nearbyint(BoxWidth(numTicks_, shareWidth_)));
}
