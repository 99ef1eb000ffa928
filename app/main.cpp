#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("全屏时钟"));
    QApplication::setApplicationVersion(QStringLiteral(CLOCK_VERSION));
    return clockapp::run();
}
