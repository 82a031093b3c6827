#include "streaming/capture_sets.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace cli {

namespace {
constexpr double kSetSeconds = 0.5;
constexpr std::size_t kLeastPeriods = 4;
constexpr std::size_t kMostSetBytes = std::size_t{8} << 20;
}  // namespace

SetPlan planSets(std::size_t inputs, std::size_t width, double rate, std::size_t periodFrames) {
    periodFrames = std::max<std::size_t>(periodFrames, 1);
    const std::size_t frameBytes = std::max<std::size_t>(inputs * width, 1);
    auto periods = static_cast<std::size_t>(std::ceil(kSetSeconds * rate / static_cast<double>(periodFrames)));
    periods = std::max(periods, kLeastPeriods);
    while (periods > 1 && periods * periodFrames * frameBytes > kMostSetBytes) --periods;
    return {periods * periodFrames, kCaptureSets};
}

bool CaptureSets::layout(const SetPlan& plan, std::size_t inputs, std::size_t width) {
    if (plan.setFrames == plan_.setFrames && plan.sets == plan_.sets && inputs == inputs_ && width == width_ &&
        !buffers_.empty())
        return true;
    plan_ = {};
    memory_.clear();
    buffers_.clear();
    if (plan.sets == 0 || plan.sets > kCaptureSets) return false;
    try {
        memory_.resize(plan.sets * inputs);
        for (std::vector<std::uint8_t>& buffer : memory_) buffer.resize(plan.setFrames * width);
        buffers_.resize(plan.sets);
        for (std::size_t s = 0; s < plan.sets; ++s)
            for (std::size_t i = 0; i < inputs; ++i) buffers_[s].push_back(memory_[s * inputs + i].data());
    } catch (const std::bad_alloc&) {
        memory_.clear();
        buffers_.clear();
        return false;
    }
    plan_ = plan;
    inputs_ = inputs;
    width_ = width;
    return true;
}

bool CaptureSets::hand(std::uint64_t zeros, std::uint64_t frames, bool ownsSet) {
    Handoff handoff{zeros, frames, ownsSet ? static_cast<std::size_t>(handedSets_ % buffers_.size()) : kNoSet};
    if (!handoffs_.push(handoff)) return false;
    if (ownsSet) ++handedSets_;
    return true;
}

void CaptureSets::giveBack(const Handoff& handoff) {
    if (handoff.set != kNoSet) given_.fetch_add(1, std::memory_order_release);
    done_.fetch_add(1, std::memory_order_release);
}

}  // namespace cli
