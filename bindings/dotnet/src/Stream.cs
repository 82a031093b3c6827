using System;
using System.Runtime.InteropServices;
using System.Threading;
using Asiochan.Interop;

namespace Asiochan
{
    /// <summary>
    /// The run's stream: any inputs and outputs, read and written like a file in
    /// interleaved frames, every block with its position, the gap before it and the
    /// events since the last one. One reader thread and one writer thread at a time.
    /// Cancelling a Read or Write stops the stream (for good) and throws
    /// OperationCanceledException (the frames the cancelled call moved go with it).
    /// Dispose closes it.
    /// </summary>
    public sealed class Stream : IDisposable
    {
        readonly AsioDriver driver;
        readonly int inputFrameBytes, outputFrameBytes;
        volatile bool closed;

        public SampleFormat Format { get; private set; }
        public int InputCount { get; private set; }
        public int OutputCount { get; private set; }

        internal Stream(AsioDriver driver, SampleFormat format, int inputFrameBytes, int outputFrameBytes, int inputs, int outputs) {
            this.driver = driver;
            Format = format;
            this.inputFrameBytes = inputFrameBytes;
            this.outputFrameBytes = outputFrameBytes;
            InputCount = inputs;
            OutputCount = outputs;
        }

        /// <summary>Starts both directions at position 0; frames written before it play first.</summary>
        public void Start()
        {
            ThrowIfClosed();
            AsioException.Check(AsiochanNative.StartStream(), "StartStream");
        }

        /// <summary>Ends both directions at the end of the period in flight; what was recorded stays readable.</summary>
        public void Stop()
        {
            ThrowIfClosed();
            AsioException.Check(AsiochanNative.StopStream(), "StopStream");
        }

        public StreamState State
        {
            get {
                ThrowIfClosed();
                return StreamState.Read();
            }
        }

        /// <summary>
        /// Reads up to `frames` frames (timeoutMs: 0 what is there, -1 until all or the
        /// end). At the end of the stream the block has Frames 0 and Ended set.
        /// </summary>
        public StreamBlock Read(float[] buffer, int frames, int timeoutMs,
                                CancellationToken cancellation = default(CancellationToken))
        {
            return Move(true, buffer, SampleFormat.Float32, frames, timeoutMs, cancellation);
        }

        public StreamBlock Read(int[] buffer, int frames, int timeoutMs,
                                CancellationToken cancellation = default(CancellationToken))
        {
            return Move(true, buffer, SampleFormat.Int32, frames, timeoutMs, cancellation);
        }

        /// <summary>A read of a Native stream: the driver's own bytes.</summary>
        public StreamBlock Read(byte[] buffer, int frames, int timeoutMs,
                                CancellationToken cancellation = default(CancellationToken))
        {
            return Move(true, buffer, SampleFormat.Native, frames, timeoutMs, cancellation);
        }

        /// <summary>
        /// Writes up to `frames` frames, waiting up to timeoutMs for room (writes before
        /// Start never wait). Once the stream ended the block has Frames 0 and Ended set
        /// (frames not yet played were dropped).
        /// </summary>
        public StreamBlock Write(float[] buffer, int frames, int timeoutMs,
                                 CancellationToken cancellation = default(CancellationToken))
        {
            return Move(false, buffer, SampleFormat.Float32, frames, timeoutMs, cancellation);
        }

        public StreamBlock Write(int[] buffer, int frames, int timeoutMs,
                                 CancellationToken cancellation = default(CancellationToken))
        {
            return Move(false, buffer, SampleFormat.Int32, frames, timeoutMs, cancellation);
        }

        public StreamBlock Write(byte[] buffer, int frames, int timeoutMs,
                                 CancellationToken cancellation = default(CancellationToken))
        {
            return Move(false, buffer, SampleFormat.Native, frames, timeoutMs, cancellation);
        }

        StreamBlock Move(bool read, Array buffer, SampleFormat format, int frames, int timeoutMs,
                         CancellationToken cancellation)
        {
            ThrowIfClosed();
            if (buffer == null) throw AsioException.Argument("buffer", "null");
            if (format != Format)
                throw AsioException.Argument("buffer", "a " + format + " buffer for a " + Format + " stream");
            if (frames < 0) throw AsioException.Argument("frames", frames + " is negative");
            long frameBytes = read ? inputFrameBytes : outputFrameBytes;
            long bytes = (long)buffer.Length * (format == SampleFormat.Native ? 1 : 4);
            if ((long)frames * frameBytes > bytes)
                throw AsioException.Argument("buffer", string.Format("{0} frames of {1} bytes do not fit in {2} bytes",
                                                                     frames, frameBytes, bytes));
            AsiochanStreamBlock block = StreamBlock.NewNative();
            int result;
            GCHandle pin = GCHandle.Alloc(buffer, GCHandleType.Pinned);
            try {
                using (StopOnCancel.Register(cancellation)) {
                    IntPtr at = pin.AddrOfPinnedObject();
                    result = read ? AsiochanNative.ReadStream(at, frames, timeoutMs, ref block)
                                  : AsiochanNative.WriteStream(at, frames, timeoutMs, ref block);
                }
            } finally {
                pin.Free();
            }
            // A cancelled call stopped the stream for good: what it moved goes with it.
            cancellation.ThrowIfCancellationRequested();
            // The last block still tells the last gap and the events up to the end.
            if (result == ResultCode.StreamEnded) return new StreamBlock(0, true, ref block);
            AsioException.Check(result, read ? "ReadStream" : "WriteStream");
            return new StreamBlock(result, false, ref block);
        }

        void ThrowIfClosed()
        {
            if (closed) throw new ObjectDisposedException("Stream", "the stream was closed");
        }

        internal void MarkClosed() { closed = true; }

        /// <summary>Stops the stream if it runs, and closes it: its channels go back to the run.</summary>
        public void Dispose()
        {
            if (!closed) driver.CloseStream(this);
        }
    }
}
