#include "ui/midi_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "live/live_kit.h"

namespace {

// A note's number with its name: "36 C1".
class NoteSpinBox : public QSpinBox {
  public:
    explicit NoteSpinBox(QWidget* parent) : QSpinBox(parent) { setRange(0, 127); }

  protected:
    QString textFromValue(int v) const override {
        return QStringLiteral("%1 %2").arg(v).arg(NoteName(v));
    }
    int valueFromText(const QString& text) const override {
        return text.section(' ', 0, 0).toInt();
    }
    QValidator::State validate(QString& text, int&) const override {
        bool ok = false;
        const int v = text.section(' ', 0, 0).toInt(&ok);
        if (text.section(' ', 0, 0).isEmpty()) return QValidator::Intermediate;
        return ok && v >= 0 && v <= 127 ? QValidator::Acceptable : QValidator::Invalid;
    }
};

class QtMidiMapChooser : public MidiMapChooser {
  public:
    bool ChooseMidiMap(Engine::MidiMap& map, const std::vector<std::u16string>& captions,
                       std::function<NoteSeen()> lastNote, QWidget* owner) override {
        MidiMapDialog dialog(map, captions, std::move(lastNote), owner);
        if (dialog.exec() != QDialog::Accepted) return false;
        map = dialog.Choice();
        return true;
    }
};

}  // namespace

QString NoteName(int note) {
    static const char* const names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
    return QStringLiteral("%1%2").arg(names[note % 12]).arg(note / 12 - 2);
}

std::unique_ptr<MidiMapChooser> MakeMidiMapChooser() {
    return std::make_unique<QtMidiMapChooser>();
}

MidiMapDialog::MidiMapDialog(const Engine::MidiMap& map,
                             const std::vector<std::u16string>& captions,
                             std::function<NoteSeen()> lastNote, QWidget* owner)
    : QDialog(owner), lastNote_(std::move(lastNote)) {
    setWindowTitle(QStringLiteral("MIDI"));
    auto* grid = new QGridLayout;
    for (std::size_t k = 0; k < captions.size(); ++k) {
        const int row = int(k);
        grid->addWidget(new QLabel(QStringLiteral("Track %1 “%2”")
                                       .arg(row + 1)
                                       .arg(QString::fromStdU16String(captions[k])),
                                   this),
                        row, 0);
        auto* note = new NoteSpinBox(this);
        note->setObjectName(QStringLiteral("Note%1").arg(row));
        const int own = k < map.notes.size() ? map.notes[k] : -1;
        const int shown = own >= 0 ? own : DefaultNoteOf(row);
        note->setValue(shown >= 0 ? shown : 127);
        grid->addWidget(note, row, 1);
        notes_.push_back(note);
        auto* learn = new QPushButton(QStringLiteral("Learn"), this);
        learn->setObjectName(QStringLiteral("Learn%1").arg(row));
        learn->setCheckable(true);
        learn->setToolTip(QStringLiteral("The next note received plays this track"));
        connect(learn, &QPushButton::toggled, this, [this, learn](bool on) {
            if (!on) return;
            // One track learns at a time, from the next note on.
            for (QPushButton* other : learn_)
                if (other != learn) other->setChecked(false);
            learnFrom_ = lastNote_ ? lastNote_().serial : 0;
        });
        grid->addWidget(learn, row, 2);
        learn_.push_back(learn);
    }
    channel_ = new QComboBox(this);
    channel_->addItem(QStringLiteral("All channels"), 0);
    for (int c = 1; c <= 16; ++c) channel_->addItem(QStringLiteral("Channel %1").arg(c), c);
    channel_->setCurrentIndex(channel_->findData(map.channel));
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    auto* channelRow = new QHBoxLayout;
    channelRow->addWidget(new QLabel(QStringLiteral("Listen to:"), this));
    channelRow->addWidget(channel_, 1);
    layout->addLayout(channelRow);
    layout->addWidget(box);
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start(50);
}

void MidiMapDialog::Poll() {
    if (!lastNote_) return;
    for (std::size_t k = 0; k < learn_.size(); ++k) {
        if (!learn_[k]->isChecked()) continue;
        const NoteSeen seen = lastNote_();
        if (seen.serial == learnFrom_) return;
        notes_[k]->setValue(seen.note);
        learn_[k]->setChecked(false);
        return;
    }
}

Engine::MidiMap MidiMapDialog::Choice() const {
    Engine::MidiMap map;
    for (std::size_t k = 0; k < notes_.size(); ++k) {
        const int v = notes_[k]->value();
        map.notes.push_back(v == DefaultNoteOf(int(k)) ? -1 : v);
    }
    map.channel = channel_->currentData().toInt();
    return map;
}
