#include "widgets/async_scheduler.h"

#include <QTimer>

QAsyncScheduler::QAsyncScheduler(const std::function<bool()>& call, bool deleteAlways)
    : QObject(nullptr), call_(call), timer_(new QTimer), deleteAlways_(deleteAlways)
{
    timer_->setSingleShot(true);
    connect(timer_, SIGNAL(timeout()), this, SLOT(Execute()));
}

QAsyncScheduler::~QAsyncScheduler() { delete timer_; }

void QAsyncScheduler::Schedule(const std::function<bool()>& call, bool deleteAlways)
{
    if (!call)
        return;
    auto* scheduler = new QAsyncScheduler(call, deleteAlways);
    scheduler->timer_->start(10);
}

void QAsyncScheduler::Execute()
{
    // An empty call counts as one that answered false. The deletion waits for
    // the event loop: this runs inside the timer's own signal.
    const bool keep = call_ && call_();
    if (deleteAlways_ || !keep)
        deleteLater();
}
