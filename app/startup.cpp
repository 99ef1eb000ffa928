// SPDX-License-Identifier: MIT
#include "startup.h"

#include "application.h"
#include "form1.h"
#include "msgbox.h"
#include "runtimeerror.h"

namespace clockapp
{

int run()
{
    Form1 form;
    try {
        form.Form_Load();
    } catch (const platform::RuntimeError &error) {
        platform::reportRuntimeError(error);
        return 1;
    }
    form.Show();
    return platform::Application::exec();
}

} // namespace clockapp
