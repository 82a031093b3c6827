using System;
using Asiochan.Interop;
using NUnit.Framework;

namespace Asiochan.Tests
{
    [TestFixture]
    public class BadArgumentTests
    {
        static Stream Open(AsioDriver d, SampleFormat format = SampleFormat.Float32, int[] outputs = null)
        {
            return d.OpenStream(new StreamConfig { Inputs = new[] { 0, 1 }, Outputs = outputs, Format = format });
        }

        static void InStream(AsioDriver d, Action<Stream> act, int[] outputs = null)
        {
            using (Stream s = Open(d, SampleFormat.Float32, outputs)) act(s);
        }

        // What goes wrong -> the code and the argument named (null: the library refused a call).
        public static readonly object[] Rows = {
            new object[] { "a second driver", (Action<AsioDriver>)(d => AsioDriver.Open(Drivers.Fast)), ResultCode.InvalidMode, null },
            new object[] { "input channel 64", (Action<AsioDriver>)(d => d.OpenStream(new StreamConfig { Inputs = new[] { 64 } })), ResultCode.InvalidParameter, "Inputs" },
            new object[] { "negative output channel", (Action<AsioDriver>)(d => d.OpenStream(new StreamConfig { Outputs = new[] { -1 } })), ResultCode.InvalidParameter, "Outputs" },
            new object[] { "65 inputs", (Action<AsioDriver>)(d => d.OpenStream(new StreamConfig { Inputs = new int[65] })), ResultCode.InvalidParameter, "Inputs" },
            new object[] { "an input named twice", (Action<AsioDriver>)(d => d.OpenStream(new StreamConfig { Inputs = new[] { 1, 1 } })), ResultCode.InvalidParameter, null },
            new object[] { "an input the driver lacks", (Action<AsioDriver>)(d => d.OpenStream(new StreamConfig { Inputs = new[] { 8 } })), ResultCode.InvalidParameter, null },
            new object[] { "a negative ring", (Action<AsioDriver>)(d => d.OpenStream(new StreamConfig { Inputs = new[] { 0 }, RingFrames = -1 })), ResultCode.InvalidParameter, null },
            new object[] { "an unknown format", (Action<AsioDriver>)(d => d.OpenStream(new StreamConfig { Inputs = new[] { 0 }, Format = (SampleFormat)7 })), ResultCode.InvalidParameter, null },
            new object[] { "a second stream", (Action<AsioDriver>)(d => InStream(d, s => Open(d))), ResultCode.InvalidMode, null },
            new object[] { "a buffer too small", (Action<AsioDriver>)(d => InStream(d, s => s.Read(new float[9], 5, 0))), ResultCode.InvalidParameter, "buffer" },
            new object[] { "a byte short of 4 native frames", (Action<AsioDriver>)(d => { using (Stream s = Open(d, SampleFormat.Native)) s.Read(new byte[4 * 8 - 1], 4, 0); }), ResultCode.InvalidParameter, "buffer" },
            new object[] { "an int[] for floats", (Action<AsioDriver>)(d => InStream(d, s => s.Read(new int[8], 4, 0))), ResultCode.InvalidParameter, "buffer" },
            new object[] { "a negative count", (Action<AsioDriver>)(d => InStream(d, s => s.Read(new float[8], -1, 0))), ResultCode.InvalidParameter, "frames" },
            new object[] { "a null buffer", (Action<AsioDriver>)(d => InStream(d, s => s.Read((float[])null, 0, 0))), ResultCode.InvalidParameter, "buffer" },
            new object[] { "a timeout below -1", (Action<AsioDriver>)(d => InStream(d, s => s.Read(new float[8], 4, -2))), ResultCode.InvalidParameter, null },
            new object[] { "a write without outputs", (Action<AsioDriver>)(d => InStream(d, s => s.Write(new float[8], 4, 0))), ResultCode.InvalidMode, null },
            new object[] { "a second start", (Action<AsioDriver>)(d => InStream(d, s => { s.Start(); s.Start(); })), ResultCode.InvalidMode, null },
            new object[] { "a take with 3 columns for 2 outputs", (Action<AsioDriver>)(d => d.PlayAndRecord(new float[4, 3], new[] { 0, 1 }, null, 4)), ResultCode.InvalidParameter, "play" },
            new object[] { "a take of -1 frames", (Action<AsioDriver>)(d => d.Record(new[] { 0 }, -1)), ResultCode.InvalidParameter, "frames" },
            new object[] { "a negative timeout", (Action<AsioDriver>)(d => d.Record(new[] { 0 }, 4, TimeSpan.FromMilliseconds(-5))), ResultCode.InvalidParameter, "timeout" },
            new object[] { "a take on an output the driver lacks", (Action<AsioDriver>)(d => d.PlayAndRecord(new float[4, 1], new[] { 9 }, null, 4)), ResultCode.InvalidParameter, null },
            new object[] { "a take while a stream is open", (Action<AsioDriver>)(d => InStream(d, s => d.Record(new[] { 0 }, 4))), ResultCode.InvalidMode, null },
            new object[] { "a rate of 0 Hz", (Action<AsioDriver>)(d => d.SampleRate = 0), ResultCode.InvalidParameter, "SampleRate" },
        };

        [TestCaseSource("Rows")]
        public void IsRefusedWithItsCodeAndTheLibrarysText(string what, Action<AsioDriver> act, int code, string paramName)
        {
            using (AsioDriver driver = AsioDriver.Open(Drivers.Loopback)) {
                var e = Assert.Throws<AsioException>(() => act(driver), what);
                Assert.AreEqual(code, e.Code, "{0}: {1}", what, e.Message);
                Assert.AreEqual(paramName, e.ParamName, what);
                StringAssert.StartsWith(AsiochanNative.ErrorText(code), e.Message, what);
                // Nothing was left behind: a take works after the refusal.
                Assert.AreEqual(64, driver.Record(new[] { 0 }, 64, TimeSpan.FromSeconds(5)).GetLength(0), what);
            }
        }

        // A driver that cannot be opened leaves nothing open: the next Open works.
        [TestCase("no such driver")]
        [TestCase("asiochan sim (refused)")]  // listed, but its creation fails
        public void ADriverThatCannotBeOpenedIsNotPresent(string name)
        {
            var e = Assert.Throws<AsioException>(() => AsioDriver.Open(name));
            Assert.AreEqual(ResultCode.NotPresent, e.Code);
            StringAssert.Contains("'" + name + "'", e.Message);
            using (AsioDriver driver = AsioDriver.Open(Drivers.Loopback))
                Assert.AreEqual(Drivers.Loopback, driver.Name);
        }
    }
}
