#pragma once

#include <QObject>

#include <functional>

// Calls put off to a later turn of the event loop, such as a feed's parse after its download.
// While held (the status menu is open) they wait, in the order they were made, and run once
// released, so what the open menu shows does not change under the pointer. A call whose
// context object is gone by then is dropped.
namespace DeferredCalls {
void post(QObject *context, std::function<void()> call);
void hold();
void release();
bool isHeld();
} // namespace DeferredCalls
