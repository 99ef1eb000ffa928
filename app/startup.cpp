#include "startup.h"

#include "form1.h"
#include "runtimeerror.h"

#include <QApplication>

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
    form.show();
    return QApplication::exec();
}

} // namespace clockapp
