using System;
using System.Threading;
using NUnit.Framework;

namespace Asiochan.Tests
{
    [TestFixture]
    public class CancellationTests
    {
        public static readonly object[] BlockingCalls = {
            new object[] { "a read waiting for ever", (Action<AsioDriver, CancellationToken>)((d, token) => {
                using (Stream s = d.OpenStream(new StreamConfig { Inputs = new[] { 0 } })) {
                    s.Start();
                    s.Read(new float[48000 * 30], 48000 * 30, -1, token);
                }
            }) },
            new object[] { "a take of 30 s", (Action<AsioDriver, CancellationToken>)((d, token) =>
                d.PlayAndRecord(new float[48000, 1], new[] { 0 }, new[] { 0 }, 48000 * 30, null, token)) },
        };

        // A cancellation from another thread stops the stream under the blocked call, which
        // then throws; the driver is left ready for the next take.
        [TestCaseSource("BlockingCalls")]
        public void CancellationFreesABlockedCall(string what, Action<AsioDriver, CancellationToken> call)
        {
            using (AsioDriver driver = AsioDriver.Open(Drivers.Loopback))
            using (var cancel = new CancellationTokenSource()) {
                Exception thrown = null;
                var caller = new Thread(() => {
                    try { call(driver, cancel.Token); } catch (Exception e) { thrown = e; }
                });
                caller.Start();
                Thread.Sleep(200);
                Assert.IsTrue(caller.IsAlive, "{0} blocks", what);
                cancel.Cancel();
                Assert.IsTrue(caller.Join(TimeSpan.FromSeconds(10)), "{0} returned after the cancellation", what);
                Assert.IsInstanceOf<OperationCanceledException>(thrown, what);
                Assert.AreEqual(256, driver.Record(new[] { 1 }, 256, TimeSpan.FromSeconds(5)).GetLength(0));
                // A token cancelled before the call stops nothing and runs nothing.
                Assert.Throws<OperationCanceledException>(() => call(driver, cancel.Token));
            }
        }
    }
}
