// A fresh engine with a simulated driver installed as the current driver.
#pragma once

#include <gtest/gtest.h>

#include "driver/call_layer.h"
#include "engine/engine_state.h"
#include "simdriver/core/sim_driver.h"

namespace asiochan::testing {

class SimDriverTest : public ::testing::Test {
protected:
    void SetUp() override { resetEngineStateForTests(); }
    void TearDown() override {
        currentDriver = nullptr;
        if (driver_) driver_->Release();
        driver_ = nullptr;
        resetEngineStateForTests();
    }

    // Makes a driver with `config` and makes it the current driver.
    sim::SimDriver& install(sim::SimConfig config = {}) {
        if (driver_) driver_->Release();
        driver_ = new sim::SimDriver(std::move(config));
        currentDriver = driver_;
        return *driver_;
    }

    sim::SimDriver* driver_ = nullptr;
};

}  // namespace asiochan::testing
