// A fresh engine with a simulated driver installed as the current driver.
#pragma once

#include <gtest/gtest.h>

#include "driver/call_layer.h"
#include "engine/engine_state.h"
#include "simdriver/core/sim_driver.h"
#include "support/test_library.h"

namespace asiochan::testing {

class SimDriverTest : public ::testing::Test {
protected:
    void SetUp() override { testing::freshLibrary(); }
    void TearDown() override {
        driverCalls().setCurrent(nullptr);
        if (driver_) driver_->Release();
        driver_ = nullptr;
        dropLibrary();
    }

    // Makes a driver with `config` and makes it the current driver.
    sim::SimDriver& install(sim::SimConfig config = {}) {
        if (driver_) driver_->Release();
        driver_ = new sim::SimDriver(std::move(config));
        driverCalls().setCurrent(driver_);
        return *driver_;
    }

    sim::SimDriver* driver_ = nullptr;
};

}  // namespace asiochan::testing
