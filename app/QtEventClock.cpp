#include "QtEventClock.h"

#include <QCoreApplication>

namespace pressmark {

void QtEventClock::processEvents() {
    QCoreApplication::processEvents();
    // Work posted during the pass above (a hot key's handler may queue a
    // call) runs now rather than one wait slice later.
    QCoreApplication::sendPostedEvents();
}

} // namespace pressmark
