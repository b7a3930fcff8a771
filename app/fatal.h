#pragma once

// The fatal policy: the load handler and the colour handlers have no error
// handling of their own. A failure shows the run-time error box and ends
// the program.

#include "base/failure.h"

class QWidget;

namespace glimra
{

// Shows the run-time error box over parent, then ends the program with a
// failure status. Never returns and never unwinds.
[[noreturn]] void fatal(QWidget* parent, const StepFailed& failure);

template <std::invocable F> void orDie(QWidget* parent, F&& body) noexcept
{
    try {
        std::invoke(std::forward<F>(body));
    } catch (const StepFailed& e) {
        fatal(parent, e);
    }
}

} // namespace glimra
