// The window's sync commands: Audio > Sync, what the program sends and
// follows to play in time with other programs, and the status bar's word
// on who leads.
#include <algorithm>

#include <QActionGroup>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>

#include "sound/sound_device.h"
#include "ui/main_form.h"

void MainForm::BuildSyncMenu() {
    syncMenu_ = audioMenu_->addMenu(QStringLiteral("&Sync"));
    auto* group = new QActionGroup(syncMenu_);  // owned by the menu
    auto choice = [&](const QString& text, const char* name, SyncChoice value, const QString& tip) {
        QAction* a = syncMenu_->addAction(text);
        a->setObjectName(name);
        a->setCheckable(true);
        a->setToolTip(tip);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, value] { SetSync(value, true); });
        return a;
    };
    internalSyncCommand_ =
        choice(QStringLiteral("&Internal"), "InternalSyncCommand", SyncChoice::kInternal,
               QStringLiteral("Trellon plays by itself, at its own tempo"));
    followTransportCommand_ = choice(
        QStringLiteral("&Follow JACK Transport"), "FollowJackTransportCommand",
        SyncChoice::kFollowJack,
        QStringLiteral("Start, stop and move with JACK's transport, each pass on its bars, at its "
                       "timebase master's tempo"));
    leadTransportCommand_ = choice(
        QStringLiteral("&Lead JACK Transport"), "LeadJackTransportCommand", SyncChoice::kLeadJack,
        QStringLiteral("Start and stop JACK's transport with playback and publish the bar, beat "
                       "and tempo played (Trellon is its timebase master)"));
    followClockCommand_ = choice(
        QStringLiteral("Follow MIDI &Clock"), "FollowMidiClockCommand", SyncChoice::kFollowClock,
        QStringLiteral("Start, stop and continue with the MIDI clock coming into midi_in, at its "
                       "tempo (smoothed, taken at the end of the pass)"));
    linkCommand_ = choice(
        QStringLiteral("Lin&k"), "LinkSyncCommand", SyncChoice::kLink,
        QStringLiteral("Play with Link peers on the local network: one tempo, each pass on the "
                       "session's bars"));
    internalSyncCommand_->setChecked(true);
    linkStartStopCommand_ = syncMenu_->addAction(QStringLiteral("Link Start/&Stop"));
    linkStartStopCommand_->setObjectName("LinkStartStopCommand");
    linkStartStopCommand_->setCheckable(true);
    linkStartStopCommand_->setToolTip(
        QStringLiteral("Start and stop with the Link peers that share start and stop"));
    connect(linkStartStopCommand_, &QAction::toggled, this, [this](bool on) {
        engine_->ShareLinkStartStop(on);
        if (settings_) settings_->setValue(QStringLiteral("Sync/LinkStartStop"), on);
    });
    syncMenu_->addSeparator();
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
    syncLabel_ = new QLabel(statusBar());  // owned by the status bar
    syncLabel_->setObjectName("SyncLabel");
    statusBar()->addPermanentWidget(syncLabel_);
    ShowSync();
}

void MainForm::SetSync(SyncChoice choice, bool keep) {
    sync_ = choice;
    SetTransportRole(choice == SyncChoice::kFollowJack    ? TransportRole::kFollow
                     : choice == SyncChoice::kFollowClock ? TransportRole::kFollowClock
                     : choice == SyncChoice::kLeadJack    ? TransportRole::kLead
                                                          : TransportRole::kNone);
    engine_->FollowTransport(choice == SyncChoice::kFollowJack ||
                             choice == SyncChoice::kFollowClock);
    engine_->FollowLink(choice == SyncChoice::kLink);
    (choice == SyncChoice::kFollowJack    ? followTransportCommand_
     : choice == SyncChoice::kFollowClock ? followClockCommand_
     : choice == SyncChoice::kLeadJack    ? leadTransportCommand_
     : choice == SyncChoice::kLink        ? linkCommand_
                                          : internalSyncCommand_)
        ->setChecked(true);
    if (keep && settings_) settings_->setValue(QStringLiteral("Sync/Source"), SyncName(choice));
    ShowSync();
}

QString MainForm::SyncName(SyncChoice choice) {
    switch (choice) {
        case SyncChoice::kFollowJack:
            return QStringLiteral("jack");
        case SyncChoice::kLeadJack:
            return QStringLiteral("jack-lead");
        case SyncChoice::kFollowClock:
            return QStringLiteral("midi");
        case SyncChoice::kLink:
            return QStringLiteral("link");
        case SyncChoice::kInternal:
            break;
    }
    return QStringLiteral("internal");
}

void MainForm::ShowSync() {
    // Who leads: Trellon (its own tempo, and JACK's transport when it
    // leads that too), JACK's transport, or a MIDI clock with its tempo
    // while one comes.
    QString text = QStringLiteral("Sync: internal");
    if (sync_ == SyncChoice::kFollowJack) {
        text = QStringLiteral("Sync: JACK");
    } else if (sync_ == SyncChoice::kLeadJack) {
        text = QStringLiteral("Sync: internal, leads JACK");
    } else if (sync_ == SyncChoice::kFollowClock) {
        const TransportView clock = DefaultTransport();
        text = clock.known ? QStringLiteral("Sync: MIDI clock %1 bpm").arg(clock.bpm, 0, 'f', 1)
                           : QStringLiteral("Sync: MIDI clock (none)");
    } else if (sync_ == SyncChoice::kLink) {
        const int peers = std::max(engine_->LinkPeers(), 0);
        text = QStringLiteral("Sync: Link, %1 %2")
                   .arg(peers)
                   .arg(peers == 1 ? QStringLiteral("peer") : QStringLiteral("peers"));
    }
    if (syncLabel_->text() != text) syncLabel_->setText(text);
}

void MainForm::LoadSyncSettings() {
    sendClockCommand_->setChecked(settings_->value("Sync/SendMidiClock", true).toBool());
    linkStartStopCommand_->setChecked(settings_->value("Sync/LinkStartStop", false).toBool());
    // A choice made for this run only (the command line) stays this run's.
    if (syncFromCommandLine_) return;
    const QString source = settings_->value("Sync/Source", "internal").toString();
    SetSync(source == "jack"        ? SyncChoice::kFollowJack
            : source == "jack-lead" ? SyncChoice::kLeadJack
            : source == "midi"      ? SyncChoice::kFollowClock
            : source == "link"      ? SyncChoice::kLink
                                    : SyncChoice::kInternal,
            false);
}
