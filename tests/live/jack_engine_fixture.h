// The engine on a private JACK server (jackd with the dummy driver, 44.1
// kHz, 128-frame periods), with a test client beside it: what the tests of
// the engine on JACK start from and end with.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "common/audio_fixture.h"
#include "engine/engine.h"
#include "live/jack_probe.h"
#include "live/jack_server.h"
#include "output/av_module.h"
#include "sound/sound_device.h"

class JackEngine : public AudioLibrary {
  protected:
    static constexpr unsigned kRate = 44100;
    static constexpr unsigned kPeriod = 128;

    // The server, then an engine with an empty song playing on it. A
    // test whose SetUp calls this goes on only when nothing was skipped
    // or failed.
    void SetUp() override {
        AudioLibrary::SetUp();
        if (!PrivateJackServer::Available()) GTEST_SKIP() << "jackd is not installed here";
        server_ = std::make_unique<PrivateJackServer>(kRate, kPeriod);
        ASSERT_TRUE(server_->Up()) << "jackd -d dummy did not start";
        SetDefaultSoundDevice(nullptr);
        SetSoundOutput({"jack", ""});
        engine_ = std::make_unique<Engine>();
        engine_->StartEmpty();
    }
    bool Ready() const { return !IsSkipped() && !HasFatalFailure(); }
    void TearDown() override {
        probe_.reset();
        engine_.reset();
        // The client leaves while its server is there.
        GetAvSystem().ReleaseDevice();
        ReleaseDefaultSoundDevice();
        SetSoundOutput({});
        server_.reset();
    }

    std::unique_ptr<PrivateJackServer> server_;
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<JackProbe> probe_;
};
