using System;
using System.Threading;
using Asiochan.Interop;

namespace Asiochan
{
    /// <summary>
    /// Turns a cancellation into StopStream, made on the cancelling thread: the blocked
    /// call on the owner's thread then returns what it moved. Until the owner's call has
    /// opened its stream (PlayAndRecord opens its own) StopStream finds none, so it is
    /// tried again each millisecond until it takes or the owner's call is over; once
    /// Dispose has returned no stop is made, so a stream opened later is never touched.
    /// </summary>
    sealed class StopOnCancel : IDisposable
    {
        readonly object gate = new object();
        readonly int owner = Thread.CurrentThread.ManagedThreadId;
        bool done;
        CancellationTokenRegistration registration;

        StopOnCancel() { }

        /// <summary>Null when the token cannot be cancelled. Throws when it already is.</summary>
        public static StopOnCancel Register(CancellationToken token)
        {
            token.ThrowIfCancellationRequested();
            if (!token.CanBeCanceled) return null;
            var stop = new StopOnCancel();
            stop.registration = token.Register(stop.Stop);
            // Cancelled between the check and the registration: the callback ran here
            // and made no stop; the call must not start.
            if (token.IsCancellationRequested) {
                stop.Dispose();
                token.ThrowIfCancellationRequested();
            }
            return stop;
        }

        void Stop()
        {
            if (Thread.CurrentThread.ManagedThreadId == owner) return;
            for (;;) {
                lock (gate) {
                    if (done || AsiochanNative.StopStream() == ResultCode.Ok) return;
                }
                Thread.Sleep(1);
            }
        }

        public void Dispose()
        {
            lock (gate) done = true;
            registration.Dispose();
        }
    }
}
