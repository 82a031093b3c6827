// A playback channel service for the players' tests that records every call and
// models each channel's two-deep queue: a first block leaves the channel able to
// take another, a second one fills the queue until the test lets a block finish.
// It answers for the prepared run as the test library's engine does.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/playback_port.h"
#include "support/test_library.h"

namespace asiochan::testing {

struct ServiceCall {
    enum Kind { Set, Start, Release } kind;
    std::uint32_t channel;
    std::vector<std::uint8_t> bytes;  // what SetPlayBuffer was handed
};

class FakePlaybackService final : public PlaybackPort {
public:
    static FakePlaybackService& instance() {
        static FakePlaybackService service;
        return service;
    }

    // A fresh library whose players hand their blocks to this service.
    void install() {
        reset();
        engine_ = &freshLibrary(this).engine;
    }
    void uninstall() { dropLibrary(); }

    void reset() {
        std::lock_guard<std::mutex> guard(lock_);
        calls_.clear();
        for (auto& h : held_) h = 0;
    }

    std::vector<ServiceCall> calls() const {
        std::lock_guard<std::mutex> guard(lock_);
        return calls_;
    }
    std::vector<ServiceCall> calls(ServiceCall::Kind kind) const {
        std::vector<ServiceCall> out;
        for (auto& c : calls())
            if (c.kind == kind) out.push_back(c);
        return out;
    }
    int held(std::uint32_t channel) const { return held_[channel].load(); }

    // The block that plays on `channel` has ended: a queued one moves up.
    void finishBlock(std::uint32_t channel) {
        if (held_[channel].load() > 0) --held_[channel];
    }

private:
    FakePlaybackService() = default;

    // The run is the engine's of the library installed with this service, whose
    // state the tests set; that engine outlives the library's players.
    std::uint32_t shape() const override { return engine_->shape(); }
    OutputsFed fedOutputTypes(ChannelMask channels, ASIOSampleType (&types)[kMaxChannels],
                              std::uint32_t& shape) const override {
        return engine_->fedOutputTypes(channels, types, shape);
    }

    std::int32_t setPlayBuffer(const void* data, std::int32_t length, std::uint32_t channel) override {
        auto& s = *this;
        if (s.held_[channel].load() >= 2) return -997;
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        std::lock_guard<std::mutex> guard(s.lock_);
        s.calls_.push_back({ServiceCall::Set, channel, std::vector<std::uint8_t>(bytes, bytes + length)});
        ++s.held_[channel];
        return 0;
    }
    std::int32_t setPlayBufferOfShape(const void* data, std::int32_t length, std::uint32_t channel,
                                      std::uint32_t /*shape*/) override {
        return setPlayBuffer(data, length, channel);
    }
    std::uint8_t canSendNext(std::uint32_t channel) override { return held_[channel].load() < 2 ? 1 : 0; }
    void startPlayback() override {
        auto& s = *this;
        std::lock_guard<std::mutex> guard(s.lock_);
        s.calls_.push_back({ServiceCall::Start, 0, {}});
    }
    void releasePlaybackChannel(std::uint32_t channel) override {
        auto& s = *this;
        std::lock_guard<std::mutex> guard(s.lock_);
        s.calls_.push_back({ServiceCall::Release, channel, {}});
        s.held_[channel] = 0;
    }

    const Engine* engine_ = nullptr;
    mutable std::mutex lock_;
    std::vector<ServiceCall> calls_;
    std::atomic<int> held_[64]{};
};

}  // namespace asiochan::testing
