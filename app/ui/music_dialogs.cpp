#include "ui/music_dialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

class QtMusicDialogs : public MusicDialogs {
  public:
    bool EditArrangement(std::vector<ArrangementStep>& steps, QWidget* owner) override {
        ArrangementDialog dialog(steps, owner);
        if (dialog.exec() != QDialog::Accepted) return false;
        steps = dialog.Steps();
        return true;
    }
    bool ChooseExport(ExportChoice& choice, bool hasArrangement, QWidget* owner) override {
        ExportDialog dialog(choice, hasArrangement, owner);
        if (dialog.exec() != QDialog::Accepted) return false;
        choice = dialog.Choice();
        return true;
    }
    bool ChooseLoopFormat(LoopFormat& format, QWidget* owner) override {
        LoopFormatDialog dialog(format, owner);
        if (dialog.exec() != QDialog::Accepted) return false;
        format = dialog.Format();
        return true;
    }
    bool EditHumanize(Humanize& humanize, QWidget* owner) override {
        HumanizeDialog dialog(humanize, owner);
        if (dialog.exec() != QDialog::Accepted) return false;
        humanize = dialog.Value();
        return true;
    }
    bool EditTrack(TrackSettings& settings, QWidget* owner) override {
        TrackSettingsDialog dialog(settings, owner);
        if (dialog.exec() != QDialog::Accepted) return false;
        settings = dialog.Settings();
        return true;
    }
};

constexpr int kMaxPasses = 999;

}  // namespace

std::unique_ptr<MusicDialogs> MakeMusicDialogs() {
    return std::make_unique<QtMusicDialogs>();
}

ArrangementDialog::ArrangementDialog(const std::vector<ArrangementStep>& steps, QWidget* owner)
    : QDialog(owner) {
    setWindowTitle(QStringLiteral("Arrangement"));
    table_ = new QTableWidget(0, 2, this);  // owned by the dialog
    table_->setHorizontalHeaderLabels({QStringLiteral("Loop"), QStringLiteral("Passes")});
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (const ArrangementStep& s : steps) InsertLine(table_->rowCount(), s);
    auto* buttons = new QHBoxLayout;
    auto add = [&](const QString& text, auto action) {
        auto* b = new QPushButton(text, this);
        connect(b, &QPushButton::clicked, this, action);
        buttons->addWidget(b);
    };
    add(QStringLiteral("&Add"), [this] { AddStep(); });
    add(QStringLiteral("&Remove"), [this] { RemoveStep(); });
    add(QStringLiteral("&Up"), [this] { MoveStep(-1); });
    add(QStringLiteral("&Down"), [this] { MoveStep(1); });
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    layout->addWidget(box);
    resize(320, 360);
}

void ArrangementDialog::InsertLine(int row, const ArrangementStep& step) {
    table_->insertRow(row);
    auto* loop = new QComboBox(table_);
    for (int k = 0; k < 10; ++k) loop->addItem(QString::number(k));
    loop->setCurrentIndex(step.loop < 10 ? step.loop : 0);
    auto* passes = new QSpinBox(table_);
    passes->setRange(1, kMaxPasses);
    passes->setValue(step.repeats);
    table_->setCellWidget(row, 0, loop);
    table_->setCellWidget(row, 1, passes);
}

std::vector<ArrangementStep> ArrangementDialog::Steps() const {
    std::vector<ArrangementStep> steps;
    for (int r = 0; r < table_->rowCount(); ++r) {
        auto* loop = static_cast<QComboBox*>(table_->cellWidget(r, 0));
        auto* passes = static_cast<QSpinBox*>(table_->cellWidget(r, 1));
        steps.push_back({std::uint8_t(loop->currentIndex()), std::uint16_t(passes->value())});
    }
    return steps;
}

void ArrangementDialog::AddStep() {
    const int at = table_->currentRow() < 0 ? table_->rowCount() : table_->currentRow() + 1;
    InsertLine(at, {});
    table_->setCurrentCell(at, 0);
}

void ArrangementDialog::RemoveStep() {
    if (table_->currentRow() >= 0) table_->removeRow(table_->currentRow());
}

void ArrangementDialog::MoveStep(int by) {
    const int from = table_->currentRow(), to = from + by;
    if (from < 0 || to < 0 || to >= table_->rowCount()) return;
    std::vector<ArrangementStep> steps = Steps();
    std::swap(steps[std::size_t(from)], steps[std::size_t(to)]);
    table_->setRowCount(0);
    for (const ArrangementStep& s : steps) InsertLine(table_->rowCount(), s);
    table_->setCurrentCell(to, 0);
}

ExportDialog::ExportDialog(const ExportChoice& choice, bool hasArrangement, QWidget* owner)
    : QDialog(owner), loopIndex_(choice.loop), midi_(choice.format == ExportChoice::Format::kMidi) {
    setWindowTitle(midi_ ? QStringLiteral("Export MIDI") : QStringLiteral("Export Audio"));
    loop_ = new QRadioButton(QStringLiteral("Loop %1, passes:").arg(choice.loop), this);
    arrangement_ = new QRadioButton(QStringLiteral("The arrangement, times through:"), this);
    arrangement_->setEnabled(hasArrangement);
    (choice.arrangement && hasArrangement ? arrangement_ : loop_)->setChecked(true);
    times_ = new QSpinBox(this);
    times_->setRange(1, 10000);
    times_->setValue(choice.times);
    format_ = new QComboBox(this);
    format_->addItems({QStringLiteral("WAV, 16-bit"), QStringLiteral("FLAC")});
    format_->setCurrentIndex(choice.format == ExportChoice::Format::kFlac ? 1 : 0);
    stems_ = new QCheckBox(QStringLiteral("One file per track (stems)"), this);
    stems_->setChecked(choice.stems);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(loop_);
    form->addRow(arrangement_);
    form->addRow(QStringLiteral("Passes or times:"), times_);
    if (!midi_) {
        form->addRow(QStringLiteral("Format:"), format_);
        form->addRow(stems_);
    } else {
        format_->hide();
        stems_->hide();
    }
    form->addRow(box);
}

ExportChoice ExportDialog::Choice() const {
    ExportChoice c;
    c.arrangement = arrangement_->isChecked();
    c.loop = loopIndex_;
    c.times = times_->value();
    c.format = midi_                          ? ExportChoice::Format::kMidi
               : format_->currentIndex() == 1 ? ExportChoice::Format::kFlac
                                              : ExportChoice::Format::kWav;
    c.stems = !midi_ && stems_->isChecked();
    return c;
}
