// SPDX-License-Identifier: MIT
#include "application.h"
#include "constants.h"
#include "startup.h"

int main(int argc, char *argv[])
{
    platform::Application app(argc, argv, clockapp::ProgramName);
    return clockapp::run();
}
