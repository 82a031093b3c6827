using System;
using System.Diagnostics;
using NUnit.Framework;

namespace Asiochan.Tests
{
    [TestFixture]
    public class FastStreamTests
    {
        // 64 inputs for 60 s of audio (the class runs at 8x real time) through one reused
        // buffer: positions back to back but for the gaps told, every drop told once as a
        // gap and once as an event (a reader starved on a busy machine may drop), and the
        // process's memory flat.
        [Test]
        public void SixtyFourInputsForSixtySecondsInFlatMemory()
        {
            using (AsioDriver driver = AsioDriver.Open(Drivers.Fast)) {
                var inputs = new int[64];
                for (int i = 0; i < 64; ++i) inputs[i] = i;
                double rate = driver.SampleRate;
                int block = driver.Info.BufferSizePreferred;
                var buffer = new float[64 * block];
                using (Stream stream = driver.OpenStream(new StreamConfig {
                    Inputs = inputs, Format = SampleFormat.Float32, RingFrames = (int)(rate * 4) })) {
                    stream.Start();
                    ulong next = 0, lost = 0, overflows = 0, warmUp = (ulong)(rate * 5), total = (ulong)(rate * 60);
                    long memoryAfterWarmUp = 0, gcAfterWarmUp = 0;
                    for (bool ended = false; !ended;) {
                        if (next >= total && stream.State.IsRunning) stream.Stop();  // then read to the end
                        StreamBlock b = stream.Read(buffer, block, 2000);
                        ended = b.Ended;
                        Assert.AreEqual(next + b.Lost, b.Position, "each gap is told, before frame {0}", next);
                        foreach (StreamEvent e in b.Events) {
                            if (e.Code == StreamEventCode.Overflow) overflows += e.Frames;
                            else Assert.AreEqual(StreamEventCode.End, e.Code, "at frame {0}", next);
                        }
                        lost += b.Lost;
                        next = b.Position + (ulong)b.Frames;
                        if (memoryAfterWarmUp == 0 && next >= warmUp) {
                            gcAfterWarmUp = GC.GetTotalMemory(true);
                            memoryAfterWarmUp = Process.GetCurrentProcess().WorkingSet64;
                        }
                    }
                    Assert.GreaterOrEqual(next, total);
                    Assert.AreEqual(stream.State.Dropped, lost, "every drop was told as a gap");
                    Assert.AreEqual(lost, overflows, "and as an event");
                    long gcGrowth = GC.GetTotalMemory(true) - gcAfterWarmUp;
                    long growth = Process.GetCurrentProcess().WorkingSet64 - memoryAfterWarmUp;
                    Console.WriteLine("64 inputs x 60 s: managed heap {0:+#;-#;0} KiB, working set {1:+#;-#;0} KiB after the first 5 s; {2} frames dropped",
                                      gcGrowth / 1024, growth / 1024, lost);
                    Assert.Less(gcGrowth, 1 << 20, "managed heap growth");
                    Assert.Less(growth, 16 << 20, "working set growth");
                }
            }
        }
    }
}
