#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <cstdint>
#include <functional>

namespace kordex::shell {

// Milliseconds and the local date-time. Tests advance a fake one, so reply
// time-outs and pauses cost no real time.
class Clock {
public:
    virtual ~Clock() = default;
    // A millisecond tick that wraps at 2^32, like the system tick it replaces.
    virtual uint32_t TickMs() = 0;
    virtual QDateTime Now() = 0;
    // Let up to ms milliseconds pass without using the processor.
    virtual void Sleep(uint32_t ms) = 0;
};

class SystemClock : public Clock {
public:
    SystemClock() { timer_.start(); }
    uint32_t TickMs() override { return static_cast<uint32_t>(timer_.elapsed()); }
    QDateTime Now() override { return QDateTime::currentDateTime(); }
    void Sleep(uint32_t ms) override;

private:
    QElapsedTimer timer_;
};

// Time moves only when told: Advance, Sleep, or the optional step on every tick read.
class FakeClock : public Clock {
public:
    explicit FakeClock(uint32_t startTick = 1000,
                       QDateTime now = QDateTime(QDate(2026, 3, 15), QTime(14, 30, 5)))
        : tick_(startTick), now_(std::move(now)) {}

    uint32_t TickMs() override;
    QDateTime Now() override { return now_; }
    void Sleep(uint32_t ms) override { Advance(ms); }

    void Advance(uint32_t ms);
    void SetNow(const QDateTime& now) { now_ = now; }
    void SetTick(uint32_t tick) { tick_ = tick; }
    // Every TickMs() call moves the clock by this much afterwards (0: off).
    void SetStepPerRead(uint32_t ms) { stepPerRead_ = ms; }

private:
    uint32_t tick_;
    QDateTime now_;
    uint32_t stepPerRead_ = 0;
};

// Processes pending events of the program once (window messages, timers).
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void ProcessEvents() = 0;
};

// Pumps the Qt event loop of the current thread, when there is one.
class QtEventPump : public EventPump {
public:
    void ProcessEvents() override;
};

// A pump that runs a hook, for tests.
class HookPump : public EventPump {
public:
    explicit HookPump(std::function<void()> hook = {}) : hook_(std::move(hook)) {}
    void ProcessEvents() override {
        ++count_;
        if (hook_) hook_();
    }
    int Count() const { return count_; }

private:
    std::function<void()> hook_;
    int count_ = 0;
};

}  // namespace kordex::shell
