// SPDX-License-Identifier: MIT
#pragma once

#include "runtimeerror.h"
#include "text.h"

#include <functional>
#include <utility>

namespace platform
{

enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbQuestion = 32,
    vbDefaultButton2 = 256,
};

enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
};

// Modal message box; returns the button chosen. Escape or closing the box
// answers Cancel where there is one, else OK. Timer ticks go on meanwhile.
int MsgBox(const Text &prompt, int buttons, const Text &title);

// Shows the run-time error report in a message box and ends the event loop
// with a non-zero status.
void reportRuntimeError(const RuntimeError &error);

// Runs an event handler, reporting a run-time error it raises instead of
// letting it unwind through the toolkit's event loop.
template <class Handler, class... Args> void dispatch(const Handler &handler, Args &&...args)
{
    if (!handler)
        return;
    try {
        handler(std::forward<Args>(args)...);
    } catch (const RuntimeError &error) {
        reportRuntimeError(error);
    }
}

// A handler for an event that has no arguments, reporting its run-time errors.
inline std::function<void()> guarded(std::function<void()> handler)
{
    return [handler = std::move(handler)]() { dispatch(handler); };
}

} // namespace platform
