// SPDX-License-Identifier: MIT
#include "application.h"

#include "datetime.h"
#include "qtfonts.h"
#include "version.h"

#include <QApplication>
#include <QDate>
#include <QLocale>

#include <memory>

namespace platform
{

namespace
{
std::unique_ptr<QApplication> &application()
{
    static std::unique_ptr<QApplication> instance;
    return instance;
}

Text &title()
{
    static Text instance;
    return instance;
}

// Fonts with no bold face of their own get a synthesised bold from Qt only
// below 64 pixels; the clock's bold digits are far larger and would show
// regular, where Windows draws them bold. QT_NO_SYNTHESIZED_BOLD still
// turns synthesised bold off altogether.
void setToolkitDefaults()
{
    if (!qEnvironmentVariableIsSet("QT_NO_SYNTHESIZED_BOLD_LIMIT"))
        qputenv("QT_NO_SYNTHESIZED_BOLD_LIMIT", "1");
}

// The user's locale, not Qt's default locale, which a program may change.
Text longDate(const CivilDate &date)
{
    return QLocale::system()
        .toString(QDate(date.year, date.month, date.day), QLocale::LongFormat)
        .toStdU16String();
}
} // namespace

Application::Application(int &argc, char **argv, const Text &programTitle)
{
    setToolkitDefaults();
    application() = std::make_unique<QApplication>(argc, argv);
    title() = programTitle;
    QApplication::setApplicationName(QString::fromStdU16String(programTitle));
    QApplication::setApplicationVersion(QStringLiteral(CLOCK_VERSION_SHORT));
    qt::installFonts();
    setLongDateFormatter(&longDate);
}

Application::~Application()
{
    setLongDateFormatter(nullptr);
    application().reset();
}

Text Application::Title()
{
    return title();
}

int Application::exec()
{
    return QApplication::exec();
}

void Application::exit(int status)
{
    QCoreApplication::exit(status);
}

void Application::DoEvents()
{
    QCoreApplication::processEvents();
}

} // namespace platform
