// A fresh virtual station for every test.
#pragma once

#include <gtest/gtest.h>

#include "platform/sim/station.h"

namespace tavrin_test {

class StationTest : public ::testing::Test {
  protected:
    void SetUp() override { station().Reset(); }
    void TearDown() override { station().Reset(); }
    static sim::Station& station() { return sim::Station::Get(); }

    std::size_t RetryLines(std::u16string_view line) const {
        std::size_t n = 0;
        for (const auto& l : sim::Station::Get().DebugLines())
            n += (l == line);
        return n;
    }
};

}  // namespace tavrin_test
