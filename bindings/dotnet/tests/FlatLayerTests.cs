using System;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;
using System.Threading;
using Asiochan.Interop;
using NUnit.Framework;

namespace Asiochan.Tests
{
    [TestFixture]
    public class FlatLayerTests
    {
        // Every size and offset the header asserts at compile time is the binding's too.
        [Test]
        public void TheBindingHoldsTheHeadersNumbers()
        {
            string header = File.ReadAllText(Path.Combine(Drivers.Root(), "include/asiochan.h"));
            LayoutRow[] rows = StructLayouts.Expected();
            int checkedNumbers = 0;
            foreach (Match m in Regex.Matches(header, @"sizeof\((\w+)\) == (\d+)")) {
                LayoutRow row = rows.Single(r => r.Type.Name == m.Groups[1].Value);
                Assert.AreEqual(int.Parse(m.Groups[2].Value), row.Size, row.Type.Name);
                ++checkedNumbers;
            }
            foreach (Match m in Regex.Matches(header, @"offsetof\((\w+), (\w+)\) == (\d+)")) {
                LayoutRow row = rows.Single(r => r.Type.Name == m.Groups[1].Value);
                int offset = row.Offsets.Single(f => f.Key == m.Groups[2].Value).Value;
                Assert.AreEqual(int.Parse(m.Groups[3].Value), offset, row.Type.Name + "." + m.Groups[2].Value);
                ++checkedNumbers;
            }
            Assert.GreaterOrEqual(checkedNumbers, 15, "the header's layout checks were found");
            // The declarations agree with the table in this process's bitness; the flat
            // layer's initialiser ran the same check.
            StructLayouts.Verify(rows);
            Assert.AreEqual(IntPtr.Size == 8 ? 16 : 12, rows.Single(r => r.Type == typeof(CaptureRequest)).Size);
            Assert.AreEqual(0, AsiochanNative.PlayBuff());
        }

        // The flat layer declares exactly the header's functions, each cdecl from "asiochan".
        [Test]
        public void EveryExportOfTheHeaderIsDeclaredCdecl()
        {
            string header = File.ReadAllText(Path.Combine(Drivers.Root(), "include/asiochan.h"));
            var exports = Regex.Matches(header, @"ASIOCHAN_CALL (\w+)\(").Cast<Match>().Select(m => m.Groups[1].Value);
            var declared = typeof(AsiochanNative).GetMethods(BindingFlags.Public | BindingFlags.Static)
                               .Where(m => (m.Attributes & MethodAttributes.PinvokeImpl) != 0).ToArray();
            CollectionAssert.AreEquivalent(exports.ToArray(), declared.Select(m => m.Name).ToArray());
            foreach (MethodInfo method in declared) {
                var import = (DllImportAttribute)method.GetCustomAttributes(typeof(DllImportAttribute), false).Single();
                Assert.AreEqual(CallingConvention.Cdecl, import.CallingConvention, method.Name);
                Assert.AreEqual("asiochan", import.Value, method.Name);
            }
        }

        // The one struct whose layout follows the bitness, through the flat layer: a capture
        // armed by CaptureBuff records what SetPlayBuffer played on the looped-back output.
        [Test]
        public void CaptureRequestsArmTheirChannels()
        {
            var played = new int[4096];
            for (int i = 0; i < played.Length; ++i) played[i] = (i + 1) << 8;
            var captured = new int[8192];
            GCHandle playPin = GCHandle.Alloc(played, GCHandleType.Pinned), capturePin = GCHandle.Alloc(captured, GCHandleType.Pinned);
            try {
                using (AsioDriver.Open(Drivers.Loopback)) {
                    Assert.AreEqual(0, AsiochanNative.SetPlayBuffer(playPin.AddrOfPinnedObject(), played.Length * 4, 5));
                    var requests = new[] { new CaptureRequest { buffer = capturePin.AddrOfPinnedObject(), byteLength = captured.Length * 4, channel = 5 } };
                    Assert.AreEqual(0, AsiochanNative.CaptureBuff(requests, 1));
                    AsiochanNative.StartPlayback();
                    for (int wait = 0; wait < 500 && AsiochanNative.IsPortCaptureRunning(5) != 0; ++wait) Thread.Sleep(10);
                    Assert.AreEqual(0, AsiochanNative.IsPortCaptureRunning(5), "the capture completed");
                }
            } finally {
                playPin.Free();
                capturePin.Free();
            }
            int delay = Array.IndexOf(captured, played[0]);
            Assert.GreaterOrEqual(delay, 0, "the playback was captured");
            CollectionAssert.AreEqual(played, captured.Skip(delay).Take(played.Length).ToArray());
        }

        [Test]
        public void AMismatchNamesEveryWrongNumber()
        {
            var wrong = new[] {
                new LayoutRow(typeof(AsiochanStreamConfig), 148, "inputs", 24, "outputs", 84),
                new LayoutRow(typeof(AsiochanStreamBlock), 160, "events", 32, "missing", 0),
            };
            var e = Assert.Throws<InvalidOperationException>(() => StructLayouts.Verify(wrong));
            StringAssert.Contains((IntPtr.Size * 8) + "-bit", e.Message);
            StringAssert.Contains("AsiochanStreamConfig: 152 bytes, the header says 148", e.Message);
            StringAssert.Contains("AsiochanStreamConfig.outputs at 88, the header says 84", e.Message);
            StringAssert.Contains("AsiochanStreamBlock.missing at -1", e.Message);
            StringAssert.DoesNotContain("inputs", e.Message);
        }
    }
}
