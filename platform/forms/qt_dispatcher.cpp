#include "forms/qt_dispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "sound/event_service.h"

QtDispatcher::QtDispatcher(bool deliveryThread) {
    EventService& service = EventService::Instance();
    service.SetDispatcher([](std::function<void()> call) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call),
                                  Qt::QueuedConnection);
    });
    if (deliveryThread) service.StartDeliveryThread();
}

QtDispatcher::~QtDispatcher() {
    // The event loop is going away: later signals are dropped.
    EventService::Instance().SetDispatcher([](std::function<void()>) {});
}
