#include "widgets/guards.h"

#include <QApplication>
#include <QCursor>
#include <QObject>

OverrideCursorGuard::OverrideCursorGuard(Qt::CursorShape shape) { QApplication::setOverrideCursor(QCursor(shape)); }

OverrideCursorGuard::~OverrideCursorGuard() { QApplication::restoreOverrideCursor(); }

SignalBlockerGroup::SignalBlockerGroup(QObject* a, QObject* b, QObject* c, QObject* d, QObject* e)
{
    // Collect first, block afterwards: if the list cannot grow nothing has been
    // blocked yet and the vector releases itself as the exception leaves.
    for (QObject* object : {a, b, c, d, e}) {
        if (object)
            objects_.push_back(object);
    }
    for (QObject* object : objects_)
        object->blockSignals(true);
}

SignalBlockerGroup::~SignalBlockerGroup()
{
    for (QObject* object : objects_)
        object->blockSignals(false);
}
