#include "ClockQt.h"

#include <QCoreApplication>

#include <thread>

namespace pressmark::platform::qt {

std::chrono::nanoseconds ClockQt::now() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

void ClockQt::sleepFor(std::chrono::nanoseconds d) {
    if (d > std::chrono::nanoseconds::zero()) {
        std::this_thread::sleep_for(d);
    }
}

void ClockQt::processEvents() {
    QCoreApplication::processEvents();
    // A hot key is read from the X connection during the pass above and
    // delivered as a posted call; run it now rather than one slice later, so
    // that Alt+W ends a wait within one slice.
    QCoreApplication::sendPostedEvents();
}

} // namespace pressmark::platform::qt
