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
    while (LONG(checks_.size()) < n) {
        const LONG i = LONG(checks_.size());
        auto box = std::make_unique<TickBox>(this);
        box->setObjectName(QStringLiteral("Check%1").arg(i));
        box->setTristate(false);
        PlaceInTwips(box.get(), kCheckLeft + double(i) * kCheckWidth, 0, kCheckWidth, kCheckHeight);
        connect(box.get(), &QCheckBox::toggled, this,
                [this, i](bool) { emit TickChange(static_cast<short>(i)); });
        box->onVelocityDrag = [this, i](int v) { emit VelocityChange(static_cast<short>(i), v); };
        box->setVisible(true);
        checks_.push_back(std::move(box));
    }
    numTicks_ = n;
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
    return static_cast<LONG>(std::nearbyint(kCheckLeft + double(tickIndex) * kCheckWidth));
}

LONG SequenceControl::CheckWidth() const {
    return static_cast<LONG>(std::nearbyint(kCheckWidth));
}
