// The window's sync commands: Audio > Sync, what the program sends and
// follows to play in time with other programs.
#include "sound/sound_device.h"
#include "ui/main_form.h"

#include <QMenu>
#include <QSettings>

void MainForm::BuildSyncMenu() {
    syncMenu_ = audioMenu_->addMenu(QStringLiteral("&Sync"));
    leadTransportCommand_ = syncMenu_->addAction(QStringLiteral("&Lead JACK Transport"));
    leadTransportCommand_->setObjectName("LeadJackTransportCommand");
    leadTransportCommand_->setCheckable(true);
    leadTransportCommand_->setToolTip(
        QStringLiteral("Start and stop JACK's transport with playback and publish the bar, beat "
                       "and tempo played (Trellon is its timebase master)"));
    connect(leadTransportCommand_, &QAction::toggled, this, [this](bool on) {
        SetTransportRole(on ? TransportRole::kLead : TransportRole::kNone);
        if (settings_) settings_->setValue(QStringLiteral("Sync/LeadJackTransport"), on);
    });
    sendClockCommand_ = syncMenu_->addAction(QStringLiteral("Send MIDI &Clock"));
    sendClockCommand_->setObjectName("SendMidiClockCommand");
    sendClockCommand_->setCheckable(true);
    sendClockCommand_->setChecked(SendsMidiClock());
    sendClockCommand_->setToolTip(QStringLiteral(
        "Send MIDI clock, Start, Stop and Continue on the JACK port clock_out while playing"));
    connect(sendClockCommand_, &QAction::toggled, this, [this](bool on) {
        SetSendMidiClock(on);
        if (settings_) settings_->setValue(QStringLiteral("Sync/SendMidiClock"), on);
    });
}

void MainForm::LoadSyncSettings() {
    leadTransportCommand_->setChecked(settings_->value("Sync/LeadJackTransport", false).toBool());
    sendClockCommand_->setChecked(settings_->value("Sync/SendMidiClock", true).toBool());
}
