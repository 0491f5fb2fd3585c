#pragma once

#include <gtest/gtest.h>

#include <QTime>
#include <memory>

#include "../store/ModuleFixture.h"
#include "filters/PageFilters.h"
#include "link/DateTime.h"
#include "link/KeyId.h"
#include "store/Rules.h"

namespace kordex::filters::testing {

using store::testing::Column;
using store::testing::Row;

inline QString KeyOf(uint32_t serial) {
    return link::TouchKeyText(serial);
}

// A day of March 2025 with a time of day.
inline double At(int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    return link::DateTime::FromDate(QDate(2025, 3, day), QTime(hour, minute, second, ms)).Days();
}

// An open store with its rules and the five pages' filters.
class FilterTest : public store::testing::ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        Open();
        rules = std::make_unique<store::Rules>(*dm);
        filters = std::make_unique<PageFilters>(*dm);
        filters->ConnectRules(*rules);
    }

    void TearDown() override {
        filters.reset();
        rules.reset();
    }

    // Writes a row straight into the view's table, past every rule, and
    // gives its autoinc value when it has one.
    qint32 Put(store::View& v, Row row) {
        store::Values values(v.Def().fields.size());
        for (const auto& [field, value] : row)
            values[v.Def().FieldIndex(QString::fromLatin1(field))] = value;
        v.PhysicalTable()->Insert(values);
        const int autoinc = v.Def().AutoIncField();
        return autoinc >= 0 ? values[autoinc].toInt() : 0;
    }

    // Every view reads its table again, as after a bulk change.
    void RereadAll() {
        for (const auto& c : dm->Components())
            if (c.view != nullptr && c.view->IsOpen()) c.view->Refresh();
    }

    // The touches page of a pair in date mode: every touch, following nothing.
    store::View& DateMode(store::View& touches) {
        touches.SetMaster(nullptr, {}, {});
        return touches;
    }

    std::unique_ptr<store::Rules> rules;
    std::unique_ptr<PageFilters> filters;
};

}  // namespace kordex::filters::testing
