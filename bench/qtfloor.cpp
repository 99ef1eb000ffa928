// SPDX-License-Identifier: MIT
// The floor of a Qt 6 desktop clock's idle cost: a full-screen window whose one
// small label changes once a second, on the wall clock's second.
// Run:   ./qtfloor [PIXEL_SIZE]   (default 20)
#include <QApplication>
#include <QLabel>
#include <QTime>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setStyleSheet("background: white");
    QLabel label(&window);
    QFont font("AR PL UKai CN");
    font.setPixelSize(argc > 1 ? atoi(argv[1]) : 20);
    label.setFont(font);
    label.setStyleSheet("color: rgb(192, 64, 0)");
    label.move(100, 300);
    auto tick = [&] {
        label.setText(QTime::currentTime().toString("HH:mm:ss"));
        label.adjustSize();
    };
    tick();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, tick);
    QTimer::singleShot(1000 - QTime::currentTime().msec(), [&] {
        tick();
        timer.start(1000);
    });
    window.showFullScreen();
    return app.exec();
}
