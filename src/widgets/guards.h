// Scope guards used by the views: an application-wide override cursor, and a
// group of QObjects whose signals are silenced for the lifetime of a scope.
#ifndef SKW_WIDGETS_GUARDS_H
#define SKW_WIDGETS_GUARDS_H

#include "base/skw_export.h"

#include <Qt>

#include <vector>

class QObject;

// Pushes one override cursor on construction and pops exactly one on
// destruction, so guards nest.
class SKW_EXPORT OverrideCursorGuard {
public:
    explicit OverrideCursorGuard(Qt::CursorShape shape);
    ~OverrideCursorGuard();
    OverrideCursorGuard(const OverrideCursorGuard&) = delete;
    OverrideCursorGuard& operator=(const OverrideCursorGuard&) = delete;
};

// Blocks the signals of up to five objects (null ones are skipped) and always
// unblocks them at the end, whatever their earlier state was. Unlike
// QSignalBlocker it does not restore a previous blocked state: the views rely on
// the objects being live again after the scope.
class SKW_EXPORT SignalBlockerGroup {
public:
    explicit SignalBlockerGroup(QObject* a, QObject* b = nullptr, QObject* c = nullptr, QObject* d = nullptr,
                                QObject* e = nullptr);
    ~SignalBlockerGroup();
    SignalBlockerGroup(const SignalBlockerGroup&) = delete;
    SignalBlockerGroup& operator=(const SignalBlockerGroup&) = delete;

private:
    std::vector<QObject*> objects_;
};

#endif
