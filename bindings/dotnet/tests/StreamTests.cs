using System;
using System.Collections.Generic;
using System.Linq;
using System.Threading;
using NUnit.Framework;

namespace Asiochan.Tests
{
    [TestFixture]
    public class StreamTests
    {
        const int Block = 256;

        /// <summary>Checks that each block starts where the last one ended plus the gap told before it.</summary>
        sealed class Positions
        {
            readonly string direction;
            ulong next;
            public ulong Lost;

            public Positions(string direction) { this.direction = direction; }

            public void Take(StreamBlock b)
            {
                Assert.AreEqual(next + b.Lost, b.Position, "{0}: a block's position is the last end plus its gap", direction);
                next = b.Position + (ulong)b.Frames;
                Lost += b.Lost;
            }
        }

        // One thread writes and reads a looped-back channel through a small ring and stops
        // doing either for a while: the inputs overflow and the outputs run dry. Every block
        // tells where its frames are, so every sample read is the one written for that
        // position (frame p of the recording hears frame p - delay of the playback) or silence.
        [Test]
        public void PositionsStayExactAcrossAnOverflowAndAnUnderrun()
        {
            using (AsioDriver driver = AsioDriver.Open(Drivers.Loopback))
            using (Stream stream = driver.OpenStream(new StreamConfig {
                Inputs = new[] { 2 }, Outputs = new[] { 2 }, Format = SampleFormat.Int32, RingFrames = 4 * Block })) {
                var reads = new Positions("read");
                var writes = new Positions("write");
                var events = new List<StreamEventCode>();
                var output = new int[Block];
                var input = new int[4 * Block];
                // Sample i of write w is w * Block + i + 1; its block tells where it plays.
                var told = new List<ulong>();
                Action write = () => {
                    for (int i = 0; i < Block; ++i) output[i] = told.Count * Block + i + 1;
                    StreamBlock w = stream.Write(output, Block, 1000);
                    Assert.AreEqual(Block, w.Frames);
                    writes.Take(w);
                    told.Add(w.Position);
                    events.AddRange(w.Events.Select(e => e.Code));
                };
                int heard = 0;
                long delay = -1;
                Func<int, int, int> read = (frames, timeoutMs) => {
                    StreamBlock r = stream.Read(input, frames, timeoutMs);
                    reads.Take(r);
                    events.AddRange(r.Events.Select(e => e.Code));
                    for (int i = 0; i < r.Frames; ++i) {
                        if (input[i] == 0) continue;
                        int sample = input[i] - 1;
                        long at = (long)r.Position + i, played = (long)told[sample / Block] + sample % Block;
                        if (delay < 0) delay = at - played;
                        Assert.AreEqual(delay, at - played, "frame {0} holds the sample told to play at {1}", at, played);
                        ++heard;
                    }
                    return r.Frames;
                };
                write();  // the prefill plays from position 0
                write();
                Assert.AreEqual(0ul, told[0]);
                stream.Start();
                for (int n = 0; n < 20; ++n) { read(Block, 1000); write(); }
                int heardBefore = heard;
                Thread.Sleep(150);  // 7200 frames: the 1024-frame rings overflow and run dry
                while (read(4 * Block, 0) > 0) { }  // catch up, else the full ring drops on
                for (int n = 0; n < 40; ++n) { read(Block, 1000); write(); }
                Assert.Greater(heardBefore, 10 * Block);
                Assert.Greater(heard - heardBefore, 20 * Block, "the loop carries on after the gaps");
                Assert.Greater(reads.Lost, 0);
                Assert.Greater(writes.Lost, 0);
                CollectionAssert.Contains(events, StreamEventCode.Overflow);
                CollectionAssert.Contains(events, StreamEventCode.Underrun);
                StreamState state = stream.State;
                Assert.AreEqual(state.Dropped, reads.Lost, "every dropped frame was told as a gap");
                // After the stop both ends get a last block that says so, END last.
                stream.Stop();
                StreamBlock written = stream.Write(output, Block, 1000);
                Assert.IsTrue(written.Ended, "a write after the stop");
                Assert.AreEqual(StreamEventCode.End, written.Events.Last().Code);
                var readerEvents = new List<StreamEventCode>();
                for (StreamBlock r = null; r == null || !r.Ended;) {
                    r = stream.Read(input, 4 * Block, 1000);
                    reads.Take(r);
                    readerEvents.AddRange(r.Events.Select(e => e.Code));
                }
                Assert.AreEqual(StreamEventCode.End, readerEvents.Last());
            }
        }

        // The driver's own events reach the reader: a reset ends the stream (END last) and
        // Restart brings the run back; skipped periods are a gap of exactly their frames.
        [TestCase(Drivers.Resets, StreamEventCode.Reset)]
        [TestCase(Drivers.Skips, StreamEventCode.SkippedPeriods)]
        public void DriverEventsReachTheReader(string name, StreamEventCode expected)
        {
            using (AsioDriver driver = AsioDriver.Open(name)) {
                var events = new List<StreamEvent>();
                ulong lost = 0;
                bool ended = false;
                using (Stream stream = driver.OpenStream(new StreamConfig { Inputs = new[] { 0, 1 } })) {
                    var buffer = new float[2 * Block];
                    stream.Start();
                    // Until the stream ends, or the skip's event and its gap have both come.
                    for (int n = 0; n < 2000 && !ended; ++n) {
                        StreamBlock b = stream.Read(buffer, Block, 1000);
                        events.AddRange(b.Events);
                        lost += b.Lost;
                        ended = b.Ended;
                        if (expected == StreamEventCode.SkippedPeriods && lost > 0 && events.Any(e => e.Code == expected))
                            break;
                    }
                }
                StreamEvent seen = events.FirstOrDefault(e => e.Code == expected);
                Assert.AreEqual(expected, seen.Code, "events: {0}", string.Join(", ", events));
                if (expected == StreamEventCode.Reset) {
                    Assert.IsTrue(ended, "the reset ended the stream");
                    Assert.AreEqual(StreamEventCode.End, events.Last().Code, "END comes last");
                    Assert.IsTrue((driver.TakeRequests() & DriverRequests.Reset) != 0);
                    driver.Restart();
                    float[,] after = driver.Record(new[] { 0 }, 512, TimeSpan.FromSeconds(5));
                    Assert.AreEqual(512, after.GetLength(0));
                } else {
                    Assert.AreEqual(3u * (uint)driver.Info.BufferSizePreferred, seen.Frames);
                    Assert.AreEqual((ulong)seen.Frames, lost, "the skipped frames are the reader's gap");
                }
            }
        }
    }
}
