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
    static FakeMixer fullCard() {
        FakeMixer m;
        m.addFullCard();
        return m;
    }
    std::unique_ptr<clsVolume> make() {
        return std::make_unique<clsVolume>(mixer, waveIn, notifier);
    }

    FakeMixer mixer = fullCard();
    FakeWaveIn waveIn;
    FakeNotifier notifier;
    uint32_t inputMeter =
        mixer.controlId(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERCONTROL_CONTROLTYPE_PEAKMETER);
    uint32_t outputMeter =
        mixer.controlId(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, MIXERCONTROL_CONTROLTYPE_PEAKMETER);
};

}  // namespace

TEST_F(clsVolumeMeter, FirstInputReadingStartsTheCaptureAndOnlyFinishedBuffersGoBack) {
    auto volume = make();
    mixer.setValue(outputMeter, 9);
    EXPECT_EQ(volume->CurrentVolumeMeterOutput(), 9);
    EXPECT_TRUE(waveIn.calls().empty()) << "output readings start no capture";

    mixer.setValue(inputMeter, 31);
    EXPECT_EQ(volume->CurrentVolumeMeterInput(), 31);
    ASSERT_TRUE(waveIn.openedFormat().has_value());
    const WAVEFORMATEX& f = *waveIn.openedFormat();
    EXPECT_EQ(std::vector<uint32_t>({f.wFormatTag, f.nChannels, f.nSamplesPerSec, f.nAvgBytesPerSec,
                                     f.nBlockAlign, f.wBitsPerSample, f.cbSize}),
              std::vector<uint32_t>({WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0}));
    EXPECT_EQ(waveIn.ops(), (std::vector<WOp>{WOp::Open, WOp::PrepareHeader, WOp::PrepareHeader,
                                              WOp::AddBuffer, WOp::AddBuffer, WOp::Start}));
    ASSERT_EQ(waveIn.queue().size(), 2u);
    EXPECT_NE(waveIn.queue()[0], waveIn.queue()[1]);
    for (WAVEHDR* h : waveIn.queue())
        EXPECT_EQ(h->dwBufferLength, 8192u);

    // Later readings open nothing and queue again only the buffers marked done, in order.
    waveIn.clearCalls();
    volume->CurrentVolumeMeterInput();
    EXPECT_TRUE(waveIn.calls().empty());
    WAVEHDR* first = waveIn.queue().front();
    waveIn.finishNext();
    volume->CurrentVolumeMeterOutput();
    EXPECT_EQ(waveIn.ops(), std::vector<WOp>{WOp::AddBuffer});
    EXPECT_EQ(waveIn.calls().back().header, first);
    waveIn.finishAll();
    volume->CurrentVolumeMeterInput();
    EXPECT_EQ(waveIn.count(WOp::AddBuffer), 3);
    EXPECT_EQ(waveIn.count(WOp::Open), 0);
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(clsVolumeMeter, NoInputDeviceShowsTheErrorBoxTwiceAndAFailingPreparationOnce) {
    waveIn.setDevicePresent(false);
    auto volume = make();
    mixer.setValue(inputMeter, 12);
    EXPECT_EQ(volume->CurrentVolumeMeterInput(), 12) << "the meter is still read";
    ASSERT_EQ(notifier.count(), 2);
    for (const auto& m : notifier.messages) {
        EXPECT_EQ(m.prompt, FakeWaveIn::errorText(MMSYSERR_BADDEVICEID));
        EXPECT_EQ(m.style, 16u);
        EXPECT_EQ(m.title, "Brennet - Mixercontrol Fehler");
    }
    EXPECT_EQ(waveIn.count(WOp::PrepareHeader), 0);

    // The next reading tries again; now one buffer's preparation fails: one box, and the
    // capture runs on with both buffers queued.
    waveIn.setDevicePresent(true);
    waveIn.failCall(WOp::PrepareHeader, 1, MMSYSERR_NOMEM);
    volume->CurrentVolumeMeterInput();
    ASSERT_EQ(notifier.count(), 3);
    EXPECT_EQ(notifier.messages[2].prompt, FakeWaveIn::errorText(MMSYSERR_NOMEM));
    EXPECT_EQ(waveIn.count(WOp::AddBuffer), 2);
    EXPECT_EQ(waveIn.count(WOp::Start), 1);
    volume->CurrentVolumeMeterInput();
    EXPECT_EQ(waveIn.count(WOp::Open), 3) << "the capture counts as running";
}

TEST_F(clsVolumeMeter, ReadingsAreMadeNonNegativeAndAFailedReadingKeepsTheLastGoodOne) {
    auto volume = make();
    mixer.failCall(MOp::GetDetails, 0, MMSYSERR_ERROR);
    EXPECT_EQ(volume->CurrentVolumeMeterOutput(), 0) << "the meter buffer starts at zero";
    mixer.clearFailures();
    for (auto [raw, expected] : {std::pair{-120, 120}, {45, 45}, {0, 0}, {INT32_MIN, INT32_MAX}}) {
        mixer.setValue(outputMeter, static_cast<uint32_t>(raw));
        EXPECT_EQ(volume->CurrentVolumeMeterOutput(), expected) << raw;
    }
    // Both meters share one buffer: a failed reading shows the latest good one of either.
    mixer.setValue(outputMeter, static_cast<uint32_t>(-300));
    volume->CurrentVolumeMeterOutput();
    mixer.failCall(MOp::GetDetails, inputMeter, MIXERR_INVALCONTROL);
    EXPECT_EQ(volume->CurrentVolumeMeterInput(), 300);
    EXPECT_EQ(volume->LastResult(), static_cast<int32_t>(MIXERR_INVALCONTROL));
}

TEST_F(clsVolumeMeter, EndingTheObjectStopsTheCaptureBeforeClosingTheMixer) {
    make().reset();
    EXPECT_TRUE(waveIn.calls().empty()) << "without a capture, ending touches no device";

    auto volume = make();
    volume->CurrentVolumeMeterInput();
    waveIn.clearCalls();
    mixer.clearCalls();
    volume.reset();
    EXPECT_EQ(waveIn.ops(), (std::vector<WOp>{WOp::Reset, WOp::Stop, WOp::UnprepareHeader,
                                              WOp::UnprepareHeader, WOp::Close}));
    for (const auto& call : waveIn.calls())
        EXPECT_EQ(call.result, 0u);
    EXPECT_FALSE(waveIn.isOpen());
    ASSERT_EQ(mixer.calls().size(), 1u);
    EXPECT_EQ(mixer.calls()[0].op, MOp::Close);
    EXPECT_GT(mixer.calls()[0].sequence, waveIn.calls().back().sequence);
}
