using System;
using NUnit.Framework;

namespace Asiochan.Tests
{
    [TestFixture]
    public class PlayAndRecordTests
    {
        const int PlayFrames = 2000;
        const int Frames = 3000;  // room for the loop's delay after the playback

        // Output o plays a ramp of its own: every sample tells its channel and frame.
        static int[,] Stimulus(int[] outputs)
        {
            var play = new int[PlayFrames, outputs.Length];
            for (int k = 0; k < PlayFrames; ++k)
                for (int c = 0; c < outputs.Length; ++c) play[k, c] = ((outputs[c] + 1) << 24) | (k + 1) << 4;
            return play;
        }

        /// <summary>The delay at which input column `c` holds output `o`'s samples, checked frame by frame; -1: silent.</summary>
        static int Delay(int[,] recorded, int c, int[,] play, int playColumn)
        {
            int delay = -1;
            for (int k = 0; k < Frames && delay < 0; ++k)
                if (recorded[k, c] != 0) delay = k;
            if (delay < 0) return -1;
            for (int k = 0; k < Frames; ++k) {
                int expected = k >= delay && k - delay < PlayFrames ? play[k - delay, playColumn] : 0;
                if (recorded[k, c] != expected)
                    Assert.Fail("input column {0}, frame {1}: {2:x8}, expected {3:x8} (delay {4})", c, k, recorded[k, c],
                                expected, delay);
            }
            return delay;
        }

        // Any channel map, ten takes in a row: every looped-back input holds its output's
        // samples exactly at one delay, the same in every take; an input not played is silent.
        [Test]
        public void SampleExactForAnyChannelMapAtOneDelay()
        {
            var maps = new[] {
                new { Outputs = new[] { 0, 1 }, Inputs = new[] { 0, 1 } },
                new { Outputs = new[] { 6, 2, 5 }, Inputs = new[] { 5, 6, 3, 2 } },
                new { Outputs = new[] { 7 }, Inputs = new[] { 4, 7, 0 } },
            };
            int delay = -1;
            using (AsioDriver driver = AsioDriver.Open(Drivers.Loopback)) {
                for (int take = 0; take < 10; ++take) {
                    var map = maps[take % maps.Length];
                    int[,] play = Stimulus(map.Outputs);
                    int[,] recorded = driver.PlayAndRecord(play, map.Outputs, map.Inputs, Frames, TimeSpan.FromSeconds(10));
                    Assert.AreEqual(Frames, recorded.GetLength(0));
                    Assert.AreEqual(map.Inputs.Length, recorded.GetLength(1));
                    for (int c = 0; c < map.Inputs.Length; ++c) {
                        int source = Array.IndexOf(map.Outputs, map.Inputs[c]);
                        if (source < 0) {
                            for (int k = 0; k < Frames; ++k) Assert.AreEqual(0, recorded[k, c], "input {0} is not played", map.Inputs[c]);
                            continue;
                        }
                        int d = Delay(recorded, c, play, source);
                        if (delay < 0) delay = d;
                        Assert.AreEqual(delay, d, "take {0}, input {1}", take, map.Inputs[c]);
                    }
                }
                Assert.GreaterOrEqual(delay, 0);
                Assert.Less(delay, Frames - PlayFrames);
                // The float overload lands at the same delay (values exact in both formats).
                var floats = new float[PlayFrames, 1];
                for (int k = 0; k < PlayFrames; ++k) floats[k, 0] = (k + 1) / 4096f;
                float[,] back = driver.PlayAndRecord(floats, new[] { 3 }, new[] { 3 }, Frames, TimeSpan.FromSeconds(10));
                for (int k = 0; k < Frames; ++k)
                    Assert.AreEqual(k >= delay && k - delay < PlayFrames ? floats[k - delay, 0] : 0f, back[k, 0], "frame {0}", k);
            }
        }

        // A driver that stops calling back ends a take without a time bound: the library
        // tells the stall, and the take is not whole.
        [Test]
        public void ATakeOnAStalledDriverEnds()
        {
            using (AsioDriver driver = AsioDriver.Open("asiochan sim (stalls)")) {
                Exception thrown = null;
                var take = new System.Threading.Thread(() => {
                    try { driver.Record(new[] { 0 }, 48000 * 10); } catch (Exception e) { thrown = e; }
                });
                take.Start();
                bool ended = take.Join(TimeSpan.FromSeconds(8));
                if (!ended) Interop.AsiochanNative.StopStream();  // so that the fixture can go on
                take.Join();
                Assert.IsTrue(ended, "the take ended at the stall");
                Assert.IsInstanceOf<GapException>(thrown);
            }
        }

        // Periods the driver skipped leave the recording whole in length but not in
        // content: the take is a gap all the same.
        [Test]
        public void ATakeAcrossSkippedPeriodsThrowsGapException()
        {
            using (AsioDriver driver = AsioDriver.Open(Drivers.Skips)) {
                var e = Assert.Throws<GapException>(() => driver.Record(new[] { 0 }, 48000));
                Assert.AreEqual(48000, e.Recorded);
            }
        }

        // A take cut short (the time ran out) is not handed back as a whole one.
        [Test]
        public void ATakeCutShortThrowsGapExceptionWithWhatWasRecorded()
        {
            using (AsioDriver driver = AsioDriver.Open(Drivers.Loopback)) {
                var e = Assert.Throws<GapException>(
                    () => driver.PlayAndRecord(new float[0, 1], new[] { 0 }, new[] { 0 }, 48000 * 5, TimeSpan.FromMilliseconds(200)));
                Assert.Greater(e.Recorded, 0);
                Assert.Less(e.Recorded, e.Requested);
                Assert.AreEqual(48000 * 5, ((float[,])e.Recording).GetLength(0));
                StringAssert.Contains(e.Recorded + " of " + e.Requested + " frames recorded", e.Message);
            }
        }
    }
}
