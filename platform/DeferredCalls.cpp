#include "platform/DeferredCalls.h"

#include <QList>
#include <QPointer>

namespace {

struct Call
{
    QPointer<QObject> context;
    std::function<void()> run;
};

bool held = false;
QList<Call> waiting;

void schedule(Call call)
{
    QObject *context = call.context;
    QMetaObject::invokeMethod(
        context,
        [call = std::move(call)]() mutable {
            // Held after it was scheduled: it waits for the release like the rest.
            if (held) {
                waiting.append(std::move(call));
            } else {
                call.run();
            }
        },
        Qt::QueuedConnection);
}

} // namespace

namespace DeferredCalls {

void post(QObject *context, std::function<void()> call)
{
    if (held) {
        waiting.append({context, std::move(call)});
    } else {
        schedule({context, std::move(call)});
    }
}

void hold()
{
    held = true;
}

void release()
{
    held = false;
    const QList<Call> calls = std::exchange(waiting, {});
    for (const Call &call : calls) {
        if (call.context) {
            schedule(call);
        }
    }
}

bool isHeld()
{
    return held;
}

} // namespace DeferredCalls
