// A call deferred to the event loop, and a signal that publishes animated values.
#ifndef SKW_WIDGETS_ASYNC_SCHEDULER_H
#define SKW_WIDGETS_ASYNC_SCHEDULER_H

#include "base/skw_export.h"

#include <QObject>

#include <functional>

class QTimer;

// Runs a call once from the event loop, about 10 ms after Schedule, then
// deletes itself. With `deleteAlways` false and a call that answers true, the
// scheduler stays instead (it does not run again, and nothing points to it).
class SKW_EXPORT QAsyncScheduler : public QObject {
    Q_OBJECT

public:
    QAsyncScheduler(const std::function<bool()>& call, bool deleteAlways);
    ~QAsyncScheduler() override;

    // Makes a scheduler and starts it. An empty call is ignored.
    static void Schedule(const std::function<bool()>& call, bool deleteAlways);

private slots:
    void Execute();

private:
    std::function<bool()> call_;
    QTimer* timer_;  // single shot, owned
    bool deleteAlways_;
};

// Publishes animated float values; it has no state of its own.
class SKW_EXPORT QValueAnimator : public QObject {
    Q_OBJECT

signals:
    void onUpdate(float value);
};

#endif
