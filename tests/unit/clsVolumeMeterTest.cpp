// The level meters of clsVolume and the wave-input capture that runs beside the input meter.

#include "FakeMixer.h"
#include "FakeNotifier.h"
#include "FakeWaveIn.h"
#include "clsVolume.h"

#include <gtest/gtest.h>

#include <climits>

using WOp = FakeWaveIn::Op;
using MOp = FakeMixer::Op;

namespace {

class clsVolumeMeter : public ::testing::Test {
protected:
    clsVolumeMeter() {
        mixer.addFullCard();
        inputMeter =
            mixer.controlId(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERCONTROL_CONTROLTYPE_PEAKMETER);
        outputMeter = mixer.controlId(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                                      MIXERCONTROL_CONTROLTYPE_PEAKMETER);
    }
    std::unique_ptr<clsVolume> make() {
        return std::make_unique<clsVolume>(mixer, waveIn, notifier);
    }

    FakeMixer mixer;
    FakeWaveIn waveIn;
    FakeNotifier notifier;
    uint32_t inputMeter = 0;
    uint32_t outputMeter = 0;
};

}  // namespace

TEST_F(clsVolumeMeter, FirstInputReadingStartsTheCaptureOnceAndOutputReadingsNever) {
    auto volume = make();
    mixer.setValue(outputMeter, 9);
    EXPECT_EQ(volume->CurrentVolumeMeterOutput(), 9);
    EXPECT_TRUE(waveIn.calls().empty());

    mixer.setValue(inputMeter, 31);
    EXPECT_EQ(volume->CurrentVolumeMeterInput(), 31);
    ASSERT_TRUE(waveIn.openedFormat().has_value());
    const WAVEFORMATEX& f = *waveIn.openedFormat();
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.nSamplesPerSec, 8000u);
    EXPECT_EQ(f.wBitsPerSample, 8);
    EXPECT_EQ(f.nBlockAlign, 1);
    EXPECT_EQ(f.nAvgBytesPerSec, 8000u);
    EXPECT_EQ(f.cbSize, 0);

    std::vector<WOp> ops;
    for (const auto& call : waveIn.calls()) {
        ops.push_back(call.op);
    }
    EXPECT_EQ(ops, (std::vector<WOp>{WOp::Open, WOp::PrepareHeader, WOp::PrepareHeader,
                                     WOp::AddBuffer, WOp::AddBuffer, WOp::Start}));
    ASSERT_EQ(waveIn.prepared().size(), 2u);
    EXPECT_NE(waveIn.prepared()[0].header, waveIn.prepared()[1].header);
    for (const auto& p : waveIn.prepared()) {
        EXPECT_EQ(p.length, 8192u);
        EXPECT_TRUE(p.zeroFilled);
    }
    EXPECT_EQ(waveIn.queue().size(), 2u);
    EXPECT_EQ(volume->LastResult(), 0);

    // The meter is read through its own control.
    EXPECT_EQ(mixer.calls().back().controlId, inputMeter);

    for (int i = 0; i < 3; ++i) {
        volume->CurrentVolumeMeterInput();
    }
    EXPECT_EQ(waveIn.count(WOp::Open), 1);
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(clsVolumeMeter, OnlyFinishedBuffersAreQueuedAgain) {
    auto volume = make();
    volume->CurrentVolumeMeterOutput();
    EXPECT_EQ(waveIn.count(WOp::AddBuffer), 0) << "no capture runs yet";

    volume->CurrentVolumeMeterInput();
    waveIn.clearCalls();
    volume->CurrentVolumeMeterInput();
    EXPECT_EQ(waveIn.count(WOp::AddBuffer), 0);

    WAVEHDR* first = waveIn.queue().front();
    ASSERT_TRUE(waveIn.finishNext());
    volume->CurrentVolumeMeterOutput();
    ASSERT_EQ(waveIn.count(WOp::AddBuffer), 1);
    EXPECT_EQ(waveIn.calls().back().header, first);

    // Both full (the device ran dry): the next reading hands both back.
    waveIn.finishAll();
    waveIn.clearCalls();
    volume->CurrentVolumeMeterInput();
    EXPECT_EQ(waveIn.count(WOp::AddBuffer), 2);
    EXPECT_EQ(waveIn.queue().size(), 2u);

    // A failing re-queue is reported only in LastResult.
    waveIn.finishNext();
    waveIn.failCall(WOp::AddBuffer, 0, MMSYSERR_NOMEM);
    mixer.failCall(MOp::GetDetails, outputMeter, MMSYSERR_ERROR);
    volume->CurrentVolumeMeterOutput();
    EXPECT_EQ(volume->LastResult(), static_cast<int32_t>(MMSYSERR_ERROR));
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(clsVolumeMeter, NoInputDeviceShowsTheErrorBoxTwicePerReadingAndStillReadsTheMeter) {
    waveIn.setDevicePresent(false);
    auto volume = make();
    mixer.setValue(inputMeter, 12);

    EXPECT_EQ(volume->CurrentVolumeMeterInput(), 12);
    ASSERT_EQ(notifier.count(), 2);
    for (const auto& m : notifier.messages) {
        EXPECT_EQ(m.prompt, FakeWaveIn::errorText(MMSYSERR_BADDEVICEID));
        EXPECT_EQ(m.style, 16u);
        EXPECT_EQ(m.title, "Brennet - Mixercontrol Fehler");
    }
    EXPECT_EQ(waveIn.count(WOp::PrepareHeader), 0);

    // Each reading tries again; the device appears and the capture starts.
    volume->CurrentVolumeMeterInput();
    EXPECT_EQ(notifier.count(), 4);
    waveIn.setDevicePresent(true);
    volume->CurrentVolumeMeterInput();
    EXPECT_EQ(notifier.count(), 4);
    EXPECT_EQ(waveIn.count(WOp::Start), 1);
    EXPECT_EQ(waveIn.queue().size(), 2u);
}

TEST_F(clsVolumeMeter, AFailingPreparationShowsOneBoxAndTheCaptureStillRuns) {
    waveIn.failCall(WOp::PrepareHeader, 1, MMSYSERR_NOMEM);
    auto volume = make();
    volume->CurrentVolumeMeterInput();

    ASSERT_EQ(notifier.count(), 1);
    EXPECT_EQ(notifier.messages[0].prompt, FakeWaveIn::errorText(MMSYSERR_NOMEM));
    EXPECT_EQ(waveIn.count(WOp::PrepareHeader), 2);
    EXPECT_EQ(waveIn.count(WOp::AddBuffer), 2);
    EXPECT_EQ(waveIn.count(WOp::Start), 1);

    volume->CurrentVolumeMeterInput();
    EXPECT_EQ(waveIn.count(WOp::Open), 1) << "the capture counts as running";
}

TEST_F(clsVolumeMeter, ReadingsAreMadeNonNegativeAndAFailedReadingKeepsTheLastGoodOne) {
    auto volume = make();
    // Nothing read yet: the meter buffer starts at zero.
    mixer.failCall(MOp::GetDetails, 0, MMSYSERR_ERROR);
    EXPECT_EQ(volume->CurrentVolumeMeterOutput(), 0);
    mixer.clearFailures();

    for (auto [raw, expected] : {std::pair{-120, 120}, {45, 45}, {0, 0}, {INT32_MIN, INT32_MAX}}) {
        mixer.setValue(outputMeter, static_cast<uint32_t>(raw));
        EXPECT_EQ(volume->CurrentVolumeMeterOutput(), expected) << raw;
        EXPECT_EQ(volume->LastResult(), 0);
    }

    // Both meters share one buffer: a failed reading shows the latest good one of either.
    mixer.setValue(outputMeter, static_cast<uint32_t>(-300));
    volume->CurrentVolumeMeterOutput();
    mixer.failCall(MOp::GetDetails, inputMeter, MIXERR_INVALCONTROL);
    EXPECT_EQ(volume->CurrentVolumeMeterInput(), 300);
    EXPECT_EQ(volume->LastResult(), static_cast<int32_t>(MIXERR_INVALCONTROL));
}

TEST_F(clsVolumeMeter, EndingTheObjectStopsTheCaptureBeforeClosingTheMixer) {
    auto volume = make();
    volume->CurrentVolumeMeterInput();
    waveIn.clearCalls();
    mixer.clearCalls();
    volume.reset();

    std::vector<WOp> ops;
    for (const auto& call : waveIn.calls()) {
        ops.push_back(call.op);
        EXPECT_EQ(call.result, 0u) << "every stop call found the capture as it left it";
    }
    EXPECT_EQ(ops, (std::vector<WOp>{WOp::Reset, WOp::Stop, WOp::UnprepareHeader,
                                     WOp::UnprepareHeader, WOp::Close}));
    EXPECT_FALSE(waveIn.isOpen());
    ASSERT_EQ(mixer.calls().size(), 1u);
    EXPECT_EQ(mixer.calls()[0].op, MOp::Close);
    EXPECT_GT(mixer.calls()[0].sequence, waveIn.calls().back().sequence);
    EXPECT_TRUE(mixer.openHandles().empty());

    // Without a running capture, ending touches no wave-input device.
    waveIn.clearCalls();
    make().reset();
    EXPECT_TRUE(waveIn.calls().empty());
}
