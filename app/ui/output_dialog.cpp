#include "ui/output_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include "sound/sound_device.h"

namespace {

const QString kSystemDriver = QStringLiteral("System default");
const QString kSystemDevice = QStringLiteral("System default device");
const QString kWhen = QStringLiteral("The choice is used from the next Play.");

class QtOutputChooser : public OutputChooser {
  public:
    bool ChooseOutput(SoundOutput& output, QWidget* owner) override {
        OutputDialog dialog(output, OutputDrivers(), &OutputDevicesOf, owner);
        if (dialog.exec() != QDialog::Accepted) return false;
        output = dialog.Choice();
        return true;
    }
};

}  // namespace

std::unique_ptr<OutputChooser> MakeOutputChooser() {
    return std::make_unique<QtOutputChooser>();
}

OutputDialog::OutputDialog(const SoundOutput& current, const std::vector<std::string>& drivers,
                           DeviceLister lister, QWidget* owner)
    : QDialog(owner), lister_(std::move(lister)) {
    setWindowTitle(QStringLiteral("Output Device"));
    driver_ = new QComboBox(this);  // owned by the dialog
    driver_->addItem(kSystemDriver, QString());
    for (const std::string& d : drivers)
        driver_->addItem(QString::fromStdString(d), QString::fromStdString(d));
    // A remembered driver this build does not have stays choosable.
    const QString chosen = QString::fromStdString(current.driver);
    if (driver_->findData(chosen) < 0) driver_->addItem(chosen, chosen);
    driver_->setCurrentIndex(driver_->findData(chosen));
    device_ = new QComboBox(this);
    device_->setEditable(true);
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    ListDevices(current.device);
    connect(driver_, &QComboBox::currentIndexChanged, this, [this] { ListDevices(""); });

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Driver:"), driver_);
    form->addRow(QStringLiteral("D&evice:"), device_);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note_);
    layout->addWidget(box);
    resize(420, 0);
}

void OutputDialog::ListDevices(const std::string& keep) {
    device_->clear();
    device_->addItem(kSystemDevice, QString());
    std::vector<std::string> names;
    std::string why;
    const std::string driver = driver_->currentData().toString().toStdString();
    if (lister_ && lister_(driver, &names, &why)) {
        for (const std::string& n : names)
            device_->addItem(QString::fromStdString(n), QString::fromStdString(n));
        note_->setText(names.empty() ? QStringLiteral("This driver lists no devices. ") + kWhen
                                     : kWhen);
    } else {
        note_->setText(QString::fromStdString(why) + QLatin1Char(' ') + kWhen);
    }
    if (keep.empty()) {
        device_->setCurrentIndex(0);
        return;
    }
    const QString k = QString::fromStdString(keep);
    if (device_->findData(k) < 0) device_->addItem(k, k);
    device_->setCurrentIndex(device_->findData(k));
}

SoundOutput OutputDialog::Choice() const {
    SoundOutput o;
    o.driver = driver_->currentData().toString().toStdString();
    // A typed name counts as a device; the first line is the system's.
    const QString text = device_->currentText().trimmed();
    const int at = device_->findText(text);
    o.device = at == 0 || text.isEmpty() ? std::string()
               : at > 0                  ? device_->itemData(at).toString().toStdString()
                                         : text.toStdString();
    return o;
}
