#include "ui/gui_call_queue.h"

#include <QMetaObject>

CGuiCallQueue::CGuiCallQueue(QObject* parent)
    : QObject(parent),
      m_queue([this] { QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection); }) {}
