using System;
using System.Diagnostics;
using NUnit.Framework;

namespace Asiochan.Tests
{
    [TestFixture]
    public class FastStreamTests
    {
        // 64 inputs for 60 s of audio (the class runs at 8x real time) through one reused
        // buffer: no frame lost, positions back to back, and the process's memory flat.
        [Test]
        public void SixtyFourInputsForSixtySecondsInFlatMemory()
        {
            using (AsioDriver driver = AsioDriver.Open(Drivers.Fast)) {
                var inputs = new int[64];
                for (int i = 0; i < 64; ++i) inputs[i] = i;
                double rate = driver.SampleRate;
                int block = driver.Info.BufferSizePreferred;
                long total = (long)(rate * 60);
                var buffer = new float[64 * block];
                using (Stream stream = driver.OpenStream(new StreamConfig {
                    Inputs = inputs, Format = SampleFormat.Float32, RingFrames = (int)(rate * 4) })) {
                    stream.Start();
                    ulong next = 0;
                    long read = 0, memoryAfterWarmUp = 0, gcAfterWarmUp = 0;
                    while (read < total) {
                        StreamBlock b = stream.Read(buffer, block, 2000);
                        Assert.IsFalse(b.Ended, "the stream ended at frame {0}", read);
                        Assert.AreEqual(next, b.Position, "no gap before frame {0}", read);
                        Assert.AreEqual(0, b.Events.Count, "no event at frame {0}", read);
                        next = b.Position + (ulong)b.Frames;
                        read += b.Frames;
                        if (memoryAfterWarmUp == 0 && read >= (long)(rate * 5)) {
                            gcAfterWarmUp = GC.GetTotalMemory(true);
                            memoryAfterWarmUp = Process.GetCurrentProcess().WorkingSet64;
                        }
                    }
                    StreamState state = stream.State;
                    Assert.AreEqual(0ul, state.Dropped);
                    long gcGrowth = GC.GetTotalMemory(true) - gcAfterWarmUp;
                    long growth = Process.GetCurrentProcess().WorkingSet64 - memoryAfterWarmUp;
                    Console.WriteLine("64 inputs x 60 s: managed heap {0:+#;-#;0} KiB, working set {1:+#;-#;0} KiB after the first 5 s",
                                      gcGrowth / 1024, growth / 1024);
                    Assert.Less(gcGrowth, 1 << 20, "managed heap growth");
                    Assert.Less(growth, 16 << 20, "working set growth");
                }
            }
        }
    }
}
