#pragma once

#include "platform/Backend.h"

namespace pressmark::platform::qt {

// The steady clock, a plain sleep, and Qt's pending events.
class ClockQt final : public Clock {
public:
    std::chrono::nanoseconds now() override;
    void sleepFor(std::chrono::nanoseconds d) override;
    void processEvents() override;
};

} // namespace pressmark::platform::qt
