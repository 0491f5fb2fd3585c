#include <gtest/gtest.h>

#include "store/EventViews.h"

using namespace kordex::store;

TEST(EventViews, ModeInWords) {
    struct Case {
        QVariant path, mode;
        const char* text;
    } cases[] = {
        {{}, 2, "Без маршрута"},
        {{}, {}, "Без маршрута"},
        {7, 0, "Случайный"},
        {7, 1, "Случайный с полным контролем"},
        {7, 2, "В порядке маршрута обхода"},
        {7, 5, "Неизвестный"},
        {7, {}, "Неизвестный"},
        {0, 0, "Случайный"},  // path 0 is a path
    };
    for (const auto& c : cases)
        EXPECT_EQ(ModeText(c.path, c.mode), QString(c.text)) << c.text;
}

TEST(EventViews, DurationDropsSecondsAndPadsHours) {
    const double minute = 1.0 / 1440.0, second = minute / 60.0;
    struct Case {
        QVariant duration;
        const char* text;
    } cases[] = {
        {1.0 + 2.0 / 24 + 5 * minute + 59 * second, "26:05"},
        {7 * minute, " 0:07"},
        {{}, " 0:00"},
        {0.0, " 0:00"},
        {59 * second, " 0:00"},
        {5 * minute - 1e-12, " 0:05"},  // a hair below 5 minutes is still 5 after rounding to ms
        {10.0, "240:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DurationText(c.duration), QString(c.text)) << c.text;
}

TEST(EventViews, KindsOutOfRangeReadAsUnknown) {
    for (int kind : {-1, 9, 100}) {
        EXPECT_EQ(TouchKindText(kind), TouchKindText(TouchUnknown)) << kind;
        EXPECT_EQ(TouchKindColor(kind), TouchKindColor(TouchUnknown)) << kind;
    }
}
