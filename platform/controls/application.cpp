// SPDX-License-Identifier: MIT
#include "application.h"

#include "backend.h"
#include "datetime.h"
#include "timer.h"

namespace platform
{

namespace
{
Text &title()
{
    static Text instance;
    return instance;
}
} // namespace

Application::Application(int &argc, char **argv, const Text &programTitle)
{
    title() = programTitle;
    backend::start(argc, argv, programTitle);
    setLongDateFormatter(&backend::formatLongDate);
}

Application::~Application()
{
    setLongDateFormatter(nullptr);
    backend::finish();
}

Text Application::Title()
{
    return title();
}

int Application::exec()
{
    return backend::exec();
}

void Application::exit(int status)
{
    backend::exit(status);
}

void Application::DoEvents()
{
    TimerScheduler::nestedLoopBegins();
    backend::processEvents();
}

} // namespace platform
