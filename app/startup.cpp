// SPDX-License-Identifier: MIT
#include "startup.h"

#include "application.h"
#include "form1.h"
#include "msgbox.h"
#include "runtimeerror.h"

#include <memory>

namespace clockapp
{

int run()
{
    // A window the system refuses to create is reported as any failure of
    // the load is, not left to end the program without a word.
    std::unique_ptr<Form1> form;
    try {
        form = std::make_unique<Form1>();
        form->Form_Load();
    } catch (const platform::RuntimeError &error) {
        platform::reportRuntimeError(error);
        return 1;
    }
    form->Show();
    return platform::Application::exec();
}

} // namespace clockapp
