#pragma once

#include "platform/Backend.h"

namespace pressmark {

// A platform's own time and sleep, with the pending events handled by Qt's
// dispatcher. A bare message pump is not enough where Qt runs the window:
// Qt queues the input it receives as window-system events and delivers them
// only from its own event pass (the Stop button would go unheard during a
// run), while its pass dispatches every other message of the thread, the
// hot-key window's included.
class QtEventClock final : public platform::Clock {
public:
    explicit QtEventClock(platform::Clock& time) : m_time(time) {}

    std::chrono::nanoseconds now() override { return m_time.now(); }
    void sleepFor(std::chrono::nanoseconds d) override { m_time.sleepFor(d); }
    void processEvents() override;

private:
    platform::Clock& m_time;
};

} // namespace pressmark
