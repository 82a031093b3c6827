using System;
using System.Runtime.InteropServices;
using System.Threading;
using Asiochan.Interop;

namespace Asiochan
{
    /// <summary>What the driver asked for since the last TakeRequests.</summary>
    [Flags]
    public enum DriverRequests : uint
    {
        None = 0,
        /// <summary>Restart the run (Restart): no audio moves until then, and the stream ended.</summary>
        Reset = 0x1,
        Resync = 0x2,
        LatenciesChanged = 0x4,
        SampleRateChanged = 0x8,
        SkippedPeriods = 0x10,
    }

    /// <summary>
    /// One loaded, initialised and prepared driver. The library drives one driver at a
    /// time: a second Open while one is open is refused. Dispose finishes the run and
    /// releases the driver; open a Stream, or call PlayAndRecord, in between.
    /// </summary>
    public sealed class AsioDriver : IDisposable
    {
        static readonly object Gate = new object();
        static AsioDriver current;

        Stream stream;
        bool disposed;

        public string Name { get; private set; }
        /// <summary>The channels, buffer sizes and latencies the driver reported at the last (re)start.</summary>
        public DriverInfo Info { get; private set; }

        AsioDriver(string name) { Name = name; }

        /// <summary>The names of the installed drivers, in the library's order.</summary>
        public static string[] List()
        {
            lock (Gate) {
                int count = AsiochanNative.getAsioDriverCount();
                var names = new string[Math.Max(count, 0)];
                var buffer = new byte[64];  // the library writes at most 32 bytes, NUL included
                for (int i = 0; i < names.Length; ++i) {
                    Array.Clear(buffer, 0, buffer.Length);
                    AsioException.Check(AsiochanNative.getAsioDriverName(i, buffer), "getAsioDriverName");
                    unsafe {
                        fixed (byte* name = buffer) names[i] = NativeText.FromBytes(name, 32);
                    }
                }
                return names;
            }
        }

        /// <summary>
        /// Loads the driver listed as `name` (null: the first one), initialises it and
        /// prepares its run.
        /// </summary>
        public static AsioDriver Open(string name = null)
        {
            lock (Gate) {
                if (current != null)
                    throw new AsioException(ResultCode.InvalidMode,
                                            "the driver '" + current.Name + "' is open: dispose it first");
                if (name == null) {
                    string[] names = List();
                    if (names.Length == 0) throw new AsioException(ResultCode.NotPresent, "no driver is installed");
                    name = names[0];
                }
                if (AsiochanNative.loadAsioDriver(name) == 0)
                    throw new AsioException(ResultCode.NotPresent, "the driver '" + name + "' is not listed or could not be created");
                var driver = new AsioDriver(name);
                try {
                    driver.StartRun(true);
                } catch {
                    AsiochanNative.releaseAsioDriver();
                    throw;
                }
                current = driver;
                return driver;
            }
        }

        /// <summary>Runs Initialize (when asked) and Prepare, and reads what the driver reports.</summary>
        void StartRun(bool initialize)
        {
            if (initialize) AsioException.Check(AsiochanNative.Initialize(), "Initialize");
            int prepared = AsiochanNative.Prepare();
            if (prepared < 0) {
                AsiochanNative.Finish();
                throw new AsioException(prepared, "Prepare");
            }
            Info = new DriverInfo(Name, Channels(true, AsiochanNative.GetInputChannelCount()),
                                  Channels(false, AsiochanNative.GetOutputChannelCount()),
                                  AsiochanNative.GetBufferSizeMin(), AsiochanNative.GetBufferSizeMax(),
                                  AsiochanNative.GetBufferSizePreferred(), AsiochanNative.GetInputLatency(),
                                  AsiochanNative.GetOutputLatency());
        }

        static ChannelInfo[] Channels(bool isInput, int count)
        {
            var channels = new ChannelInfo[Math.Max(count, 0)];
            for (int i = 0; i < channels.Length; ++i) {
                var info = new AsiochanChannelInfo();
                info.channel = i;
                info.isInput = isInput ? 1 : 0;
                // A channel the driver does not describe keeps type 0 and no name.
                if (AsiochanNative.ASIOGetChannelInfo(ref info) != ResultCode.Ok) {
                    info.type = 0;
                    info.isActive = 0;
                }
                channels[i] = new ChannelInfo(i, isInput, info.isActive != 0, info.channelGroup, info.type, info.Name);
            }
            return channels;
        }

        /// <summary>
        /// The run's sample rate (Hz). Setting it finishes the run, asks the driver for the
        /// rate and starts the run again (Initialize, Prepare); refused while a Stream is open.
        /// </summary>
        public double SampleRate
        {
            get { return AsiochanNative.GetCurrentSampleRate(); }
            set {
                if (!(value > 0) || double.IsInfinity(value))
                    throw AsioException.Argument("SampleRate", value + " Hz is not a positive finite rate");
                lock (Gate) {
                    ThrowIfDisposed();
                    ThrowIfStreamOpen();
                    AsiochanNative.Finish();
                    int set = AsiochanNative.SetSampleRate(value);
                    StartRun(true);
                    if (set < 0) throw new AsioException(set, "SetSampleRate(" + value + ")");
                }
            }
        }

        /// <summary>Periods processed since the run started (wraps at 2^32).</summary>
        public uint PeriodCount { get { return AsiochanNative.GetPeriodCount(); } }
        /// <summary>Periods the driver skipped since the run started (wraps at 2^32).</summary>
        public uint SkippedPeriods { get { return AsiochanNative.GetSkippedPeriods(); } }

        /// <summary>What the driver asked for since the last call (then cleared).</summary>
        public DriverRequests TakeRequests() { return (DriverRequests)AsiochanNative.GetDriverRequests(); }

        /// <summary>Finishes the run and starts it again (what a Reset request asks for); refused while a Stream is open.</summary>
        public void Restart()
        {
            lock (Gate) {
                ThrowIfDisposed();
                ThrowIfStreamOpen();
                AsioException.Check(AsiochanNative.Finish(), "Finish");
                StartRun(true);
            }
        }

        /// <summary>Opens the run's stream; one at a time. Dispose the Stream to close it.</summary>
        public Stream OpenStream(StreamConfig config)
        {
            if (config == null) throw AsioException.Argument("config", "null");
            lock (Gate) {
                ThrowIfDisposed();
                ThrowIfStreamOpen();
                AsiochanStreamConfig native = config.ToNative();
                AsioException.Check(AsiochanNative.OpenStream(ref native), "OpenStream");
                stream = new Stream(this, config.Format, FrameBytes(native.inputCount, config.Inputs, Info.Inputs, config.Format),
                                    FrameBytes(native.outputCount, config.Outputs, Info.Outputs, config.Format),
                                    native.inputCount, native.outputCount);
                return stream;
            }
        }

        static int FrameBytes(int count, int[] channels, System.Collections.Generic.IReadOnlyList<ChannelInfo> info,
                              SampleFormat format)
        {
            if (format != SampleFormat.Native) return 4 * count;
            int bytes = 0;
            for (int i = 0; i < count; ++i) bytes += channels[i] < info.Count ? info[channels[i]].SampleBytes : 0;
            return bytes;
        }

        /// <summary>Closes `closing` if it is still this driver's open stream.</summary>
        internal void CloseStream(Stream closing)
        {
            lock (Gate) {
                if (stream != closing) return;
                closing.MarkClosed();
                stream = null;
                AsiochanNative.CloseStream();
            }
        }

        /// <summary>
        /// Plays `play` (frames x outputs, may be null or have fewer frames than recorded)
        /// on `outputs` and records `frames` frames of `inputs` in one call: row k of the
        /// result was recorded in the period that played row k. Throws GapException for a
        /// take that is not whole; cancelling stops it within milliseconds.
        /// </summary>
        public float[,] PlayAndRecord(float[,] play, int[] outputs, int[] inputs, int frames, TimeSpan? timeout = null,
                                      CancellationToken cancellation = default(CancellationToken))
        {
            int columns = inputs == null ? 0 : inputs.Length;
            var record = new float[Math.Max(frames, 0), columns];
            Take(play, outputs, inputs, frames, timeout, cancellation, SampleFormat.Float32, record);
            return record;
        }

        /// <summary>PlayAndRecord without playback: records `frames` frames of `inputs`.</summary>
        public float[,] Record(int[] inputs, int frames, TimeSpan? timeout = null,
                               CancellationToken cancellation = default(CancellationToken))
        {
            return PlayAndRecord((float[,])null, null, inputs, frames, timeout, cancellation);
        }

        /// <summary>PlayAndRecord with 32-bit integer samples (full scale the whole range).</summary>
        public int[,] PlayAndRecord(int[,] play, int[] outputs, int[] inputs, int frames, TimeSpan? timeout = null,
                                    CancellationToken cancellation = default(CancellationToken))
        {
            int columns = inputs == null ? 0 : inputs.Length;
            var record = new int[Math.Max(frames, 0), columns];
            Take(play, outputs, inputs, frames, timeout, cancellation, SampleFormat.Int32, record);
            return record;
        }

        void Take(Array play, int[] outputs, int[] inputs, int frames, TimeSpan? timeout, CancellationToken cancellation,
                  SampleFormat format, Array record)
        {
            outputs = outputs ?? new int[0];
            inputs = inputs ?? new int[0];
            if (frames < 0) throw AsioException.Argument("frames", frames + " is negative");
            int playFrames = play == null ? 0 : play.GetLength(0);
            if (play != null && playFrames > 0 && play.GetLength(1) != outputs.Length)
                throw AsioException.Argument("play", play.GetLength(1) + " columns for " + outputs.Length + " outputs");
            int timeoutMs = TimeoutMs(timeout);
            AsiochanStreamConfig config = new StreamConfig { Inputs = inputs, Outputs = outputs, Format = format }.ToNative();
            AsiochanStreamState state = StreamState.NewNative();
            int result;
            lock (Gate) {
                ThrowIfDisposed();
                ThrowIfStreamOpen();
            }
            GCHandle playPin = default(GCHandle), recordPin = default(GCHandle);
            try {
                IntPtr playAt = IntPtr.Zero;
                if (playFrames > 0) {
                    playPin = GCHandle.Alloc(play, GCHandleType.Pinned);
                    playAt = playPin.AddrOfPinnedObject();
                }
                recordPin = GCHandle.Alloc(record, GCHandleType.Pinned);
                using (StopOnCancel.Register(cancellation))
                    result = AsiochanNative.PlayAndRecord(ref config, playAt, playFrames, recordPin.AddrOfPinnedObject(),
                                                          inputs.Length > 0 ? frames : 0, timeoutMs, ref state);
            } finally {
                if (playPin.IsAllocated) playPin.Free();
                if (recordPin.IsAllocated) recordPin.Free();
            }
            cancellation.ThrowIfCancellationRequested();
            AsioException.Check(result, "PlayAndRecord");
            var last = new StreamState(ref state);
            // The silence after the last frame played is the take's tail, not a gap.
            ulong tail = last.Position > (ulong)playFrames ? last.Position - (ulong)playFrames : 0;
            ulong underrun = last.Underrun > tail ? last.Underrun - tail : 0;
            int recorded = inputs.Length > 0 ? result : frames;
            // Periods the driver skipped leave silent frames in the recording at their
            // positions: neither dropped nor short, but a gap all the same.
            ulong passed = last.Recorded + last.Dropped;
            bool skipped = inputs.Length > 0 && last.Position > passed;
            if (last.Dropped > 0 || skipped || underrun > 0 || recorded < frames)
                throw new GapException(last, underrun, recorded, frames, record);
        }

        internal static int TimeoutMs(TimeSpan? timeout)
        {
            if (timeout == null || timeout.Value == Timeout.InfiniteTimeSpan) return -1;
            if (timeout.Value < TimeSpan.Zero)
                throw AsioException.Argument("timeout", timeout.Value + " is negative (null: no bound)");
            return (int)Math.Min(Math.Ceiling(timeout.Value.TotalMilliseconds), int.MaxValue);
        }

        void ThrowIfDisposed()
        {
            if (disposed) throw new ObjectDisposedException("AsioDriver", "the driver '" + Name + "' was disposed");
        }

        void ThrowIfStreamOpen()
        {
            if (stream != null)
                throw new AsioException(ResultCode.InvalidMode, "a Stream of this driver is open: dispose it first");
        }

        /// <summary>Finishes the run (an open Stream ends and closes) and releases the driver.</summary>
        public void Dispose()
        {
            lock (Gate) {
                if (disposed) return;
                disposed = true;
                if (stream != null) {
                    stream.MarkClosed();
                    stream = null;
                }
                AsiochanNative.Finish();
                AsiochanNative.releaseAsioDriver();
                if (current == this) current = null;
            }
        }
    }
}
