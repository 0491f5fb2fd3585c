#include "Clock.h"

#include <QCoreApplication>
#include <QThread>

namespace kordex::shell {

void SystemClock::Sleep(uint32_t ms) {
    if (ms > 0) QThread::msleep(ms);
}

uint32_t FakeClock::TickMs() {
    const uint32_t t = tick_;
    if (stepPerRead_ != 0) Advance(stepPerRead_);
    return t;
}

void FakeClock::Advance(uint32_t ms) {
    tick_ += ms;
    now_ = now_.addMSecs(ms);
}

void QtEventPump::ProcessEvents() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

}  // namespace kordex::shell
