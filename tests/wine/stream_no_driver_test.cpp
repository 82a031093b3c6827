// The streaming exports through the DLL with no driver loaded: a run cannot be
// prepared, and the channel operations keep to their result codes.
#include <vector>

#include "wine/dll_exports.h"
#include "wine/wine_check.h"

WINE_TEST(stream_no_driver, prepare_and_finish_answer_not_present) {
    AsiochanDll& d = dll();
    if (!d.Prepare || !d.Finish) {
        WCHECK(false);
        return;
    }
    WCHECK_EQ(d.Prepare(), -1000);
    for (std::uint32_t ch = 0; ch < 64; ++ch) WCHECK_EQ(d.IsCanSendNextPlaybackBuffer(ch), 1);
    WCHECK_EQ(d.IsCaptureRunning(), 0);
    WCHECK_EQ(d.Finish(), -1000);
}

WINE_TEST(stream_no_driver, playback_keeps_to_its_result_codes) {
    AsiochanDll& d = dll();
    if (!d.SetPlayBuffer) {
        WCHECK(false);
        return;
    }
    std::vector<unsigned char> data(1024, 7);
    WCHECK_EQ(d.SetPlayBuffer(nullptr, 16, 0), -998);
    WCHECK_EQ(d.SetPlayBuffer(data.data(), 16, 64), -998);
    WCHECK_EQ(d.IsCanSendNextPlaybackBuffer(64), 0);
    WCHECK_EQ(d.IsPortPlaybackRunning(64), 0);
    WCHECK_EQ(d.PlayBuff(), 0);
    d.Prepare();  // resets nothing without a driver, but opens every queue
    WCHECK_EQ(d.SetPlayBuffer(data.data(), 1024, 5), 0);
    WCHECK_EQ(d.SetPlayBuffer(data.data(), 1024, 5), -997);
    d.StartPlayback();
    d.StopPlayback();  // releases the queued block
    WCHECK_EQ(d.IsPortPlaybackRunning(5), 0);
    WCHECK_EQ(d.IsCanSendNextPlaybackBuffer(5), 1);
}

WINE_TEST(stream_no_driver, capture_keeps_to_its_result_codes) {
    AsiochanDll& d = dll();
    if (!d.SetCaptureBuffer) {
        WCHECK(false);
        return;
    }
    std::vector<unsigned char> target(64, 0x55);
    WCHECK_EQ(d.SetCaptureBuffer(nullptr, 64, 0), -998);
    WCHECK_EQ(d.SetCaptureBuffer(target.data(), -1, 0), -998);
    WCHECK_EQ(d.SetCaptureBuffer(target.data(), 64, 64), -998);
    const CaptureRequestAbi bad[] = {{target.data(), 64, 70}};
    WCHECK_EQ(d.CaptureBuff(bad, 1), -998);
    WCHECK_EQ(d.CaptureBuff(nullptr, 1), -998);
    WCHECK_EQ(d.IsPortCaptureRunning(64), 0);
    d.StartCapture();
    WCHECK_EQ(d.IsCaptureRunning(), 1);
    d.StopCapture();
    WCHECK_EQ(d.IsCaptureRunning(), 0);
    WCHECK_EQ(d.IsPortCaptureRunning(0), 0);
    WCHECK(target[0] == 0x55);
}
