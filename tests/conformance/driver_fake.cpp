// SPDX-License-Identifier: MIT
// The conformance suite's driver for the tests' own back end: the peers are
// read directly, input is raised on them, time is the simulated loop's, and
// each "server" is the exchange script that behaves as that server would,
// the time it takes passing on the loop.
#define DOCTEST_CONFIG_IMPLEMENT
#include "testing.h"

#include "driver.h"
#include "fakebackend.h"

#include <memory>
#include <utility>

using namespace platform;

namespace
{

// A message box stays open, the loop running, until the user answers it.
struct OpenBox {
    fake::MessageBoxes script;
    bool answered = false;
    OpenBox()
    {
        script.onShow = [this] {
            answered = false;
            for (int ms = 0; !answered && ms < 60000; ++ms)
                fake::EventLoop::current().run(1);
        };
    }
};

std::unique_ptr<OpenBox> box;
std::unique_ptr<fake::Exchanges> exchanges;

} // namespace

namespace driver
{

const void *native(LabelPeer &label)
{
    return &dynamic_cast<fake::FakeLabel &>(label);
}

const void *native(ComboBoxPeer &combo)
{
    return &dynamic_cast<fake::FakeComboBox &>(combo);
}

std::vector<const void *> stacking(WindowPeer &window)
{
    return dynamic_cast<fake::FakeWindow &>(window).stacking;
}

const void *focus(WindowPeer &window)
{
    return dynamic_cast<fake::FakeWindow &>(window).focus;
}

double fontPoints(LabelPeer &label)
{
    return dynamic_cast<fake::FakeLabel &>(label).font.points;
}

int paints(LabelPeer &label)
{
    return dynamic_cast<fake::FakeLabel &>(label).paints;
}

PixelRect painted(LabelPeer &label)
{
    return std::exchange(dynamic_cast<fake::FakeLabel &>(label).painted, PixelRect{});
}

void paintPending(WindowPeer &window)
{
    dynamic_cast<fake::FakeWindow &>(window).paint();
}

bool isShown(WindowPeer &window)
{
    return dynamic_cast<fake::FakeWindow &>(window).shown;
}

void click(LabelPeer &label, bool leftButton)
{
    // The tests' back end knows no other button.
    if (leftButton)
        dynamic_cast<fake::FakeLabel &>(label).click();
}

void type(ComboBoxPeer &combo, char16_t key)
{
    dynamic_cast<fake::FakeComboBox &>(combo).type(std::int16_t(key));
}

void close(WindowPeer &window)
{
    dynamic_cast<fake::FakeWindow &>(window).requestClose();
}

void minimise(WindowPeer &window)
{
    dynamic_cast<fake::FakeWindow &>(window).minimise();
}

void restore(WindowPeer &window)
{
    dynamic_cast<fake::FakeWindow &>(window).restore();
}

bool displayKeptOn()
{
    return fake::displayKeptOn();
}

void answerMessageBox(MessageBoxAnswer answer)
{
    box->script.answer = answer;
    box->answered = true;
}

void reportResume(WindowPeer &window)
{
    window.onResume();
}

void pump()
{
    fake::EventLoop::current().run(1);
    // A moment's sleep of the simulated PC now and then.
    fake::EventLoop::current().sleep(1);
}

std::int64_t sleepCountingMs()
{
    return fake::EventLoop::current().mono();
}

// Its exchanges hand over what the test scripts, an oversized block included,
// so that the request object's own bound is tested.
const bool boundsHeaderBlock = false;

std::string serve(Server server, int delayMs)
{
    using Failure = HttpResponse::Failure;
    exchanges.reset();
    exchanges = std::make_unique<fake::Exchanges>();
    fake::Exchanges &script = *exchanges;
    switch (server) {
    case Server::Refusing:
        script.response = fake::Exchanges::failure(Failure::Unreachable);
        break;
    case Server::Silent:
        script.response = fake::Exchanges::failure(Failure::Timeout);
        script.during = [&script] {
            fake::EventLoop::current().run(script.calls.back().totalTimeout.count());
        };
        break;
    case Server::Malformed:
        script.response = fake::Exchanges::failure(Failure::Other);
        break;
    case Server::Answering:
        script.during = [delayMs] { fake::EventLoop::current().run(delayMs); };
        script.response = {Failure::None, 200, Reply};
        break;
    }
    return "http://127.0.0.1:8/";
}

} // namespace driver

int main(int argc, char **argv)
{
    fake::EventLoop loop{1800000000000};
    backend::start(argc, argv, u"conformance");
    box = std::make_unique<OpenBox>();
    doctest::Context context(argc, argv);
    const int status = context.run();
    box.reset();
    exchanges.reset();
    backend::finish();
    return status;
}
