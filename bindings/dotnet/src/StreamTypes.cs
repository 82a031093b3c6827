using System;
using System.Collections.Generic;
using System.Collections.ObjectModel;
using Asiochan.Interop;

namespace Asiochan
{
    /// <summary>How a stream's frames are laid out in the caller's buffers.</summary>
    public enum SampleFormat
    {
        /// <summary>The driver's own bytes (every channel of a direction of one type): byte[] buffers.</summary>
        Native = 0,
        /// <summary>int, full scale the whole 32-bit range: int[] buffers.</summary>
        Int32 = 1,
        /// <summary>float, full scale +-1.0: float[] buffers.</summary>
        Float32 = 2,
    }

    /// <summary>The channels and format of a stream; frames hold the channels in the order given.</summary>
    public sealed class StreamConfig
    {
        public int[] Inputs { get; set; }
        public int[] Outputs { get; set; }
        public SampleFormat Format { get; set; }
        /// <summary>Frames per direction's ring; 0: one second at the run's rate.</summary>
        public int RingFrames { get; set; }

        public StreamConfig() { Format = SampleFormat.Float32; }

        internal unsafe AsiochanStreamConfig ToNative()
        {
            int[] inputs = Inputs ?? new int[0], outputs = Outputs ?? new int[0];
            if (inputs.Length > 64) throw AsioException.Argument("Inputs", inputs.Length + " channels, at most 64");
            if (outputs.Length > 64) throw AsioException.Argument("Outputs", outputs.Length + " channels, at most 64");
            var c = new AsiochanStreamConfig();
            c.size = AsiochanStreamConfig.Bytes;
            c.format = (int)Format;
            c.inputCount = inputs.Length;
            c.outputCount = outputs.Length;
            c.ringFrames = RingFrames;
            for (int i = 0; i < inputs.Length; ++i) c.inputs[i] = Channel(inputs[i], "Inputs");
            for (int i = 0; i < outputs.Length; ++i) c.outputs[i] = Channel(outputs[i], "Outputs");
            return c;
        }

        static byte Channel(int channel, string name)
        {
            if (channel < 0 || channel > 63) throw AsioException.Argument(name, "channel " + channel + " is not within 0..63");
            return (byte)channel;
        }
    }

    /// <summary>What a stream event tells: a driver request bit or one of the stream's own codes.</summary>
    public enum StreamEventCode : uint
    {
        Reset = 0x1,
        Resync = 0x2,
        LatenciesChanged = 0x4,
        SampleRateChanged = 0x8,
        SkippedPeriods = 0x10,
        Overflow = 0x100,
        Underrun = 0x200,
        End = 0x400,
        Stall = 0x800,
    }

    public struct StreamEvent
    {
        public StreamEventCode Code { get; private set; }
        /// <summary>Frames it concerns (overflow, underrun, skipped); else 0.</summary>
        public uint Frames { get; private set; }
        /// <summary>The stream position at which it happened.</summary>
        public ulong Position { get; private set; }

        public StreamEvent(StreamEventCode code, uint frames, ulong position) : this() {
            Code = code;
            Frames = frames;
            Position = position;
        }

        public override string ToString() { return Code + " " + Frames + " at " + Position; }
    }

    /// <summary>What one Read or Write moved, where it lies in the stream and what happened just before it.</summary>
    public sealed class StreamBlock
    {
        static readonly ReadOnlyCollection<StreamEvent> NoEvents = new ReadOnlyCollection<StreamEvent>(new StreamEvent[0]);

        /// <summary>Frames moved.</summary>
        public int Frames { get; private set; }
        /// <summary>Stream position of the first frame moved.</summary>
        public ulong Position { get; private set; }
        /// <summary>Frames lost just before it (inputs dropped or skipped; outputs' silence since the last block).</summary>
        public ulong Lost { get; private set; }
        /// <summary>Events dropped since the last block (the library's queue was full).</summary>
        public uint EventsLost { get; private set; }
        public IReadOnlyList<StreamEvent> Events { get; private set; }
        /// <summary>The stream ended (Frames 0): a read has read every frame; a write takes none.</summary>
        public bool Ended { get; private set; }

        internal StreamBlock(int frames, bool ended, ref AsiochanStreamBlock b) {
            Frames = frames;
            Ended = ended;
            Position = b.position;
            Lost = b.lost;
            EventsLost = b.eventsLost;
            int n = (int)Math.Min(b.eventCount, (uint)AsiochanStreamBlock.EventCapacity);
            if (n == 0) {
                Events = NoEvents;
            } else {
                var events = new StreamEvent[n];
                for (int i = 0; i < n; ++i) {
                    AsiochanStreamEvent e = b.Event(i);
                    events[i] = new StreamEvent((StreamEventCode)e.code, e.frames, e.position);
                }
                Events = new ReadOnlyCollection<StreamEvent>(events);
            }
        }

        internal static AsiochanStreamBlock NewNative()
        {
            var b = new AsiochanStreamBlock();
            b.size = AsiochanStreamBlock.Bytes;
            return b;
        }
    }

    /// <summary>One consistent set of a stream's counts (the values of one moment between two periods).</summary>
    public sealed class StreamState
    {
        public bool IsOpen { get; private set; }
        public bool IsRunning { get; private set; }
        public bool HasEnded { get; private set; }
        public uint Readable { get; private set; }
        public uint Writable { get; private set; }
        public ulong Position { get; private set; }
        public ulong Recorded { get; private set; }
        public ulong Dropped { get; private set; }
        public ulong Played { get; private set; }
        public ulong Underrun { get; private set; }
        public int InputLatency { get; private set; }
        public int OutputLatency { get; private set; }
        public uint EventsPending { get; private set; }
        public uint RingFrames { get; private set; }

        internal StreamState(ref AsiochanStreamState s) {
            IsOpen = (s.flags & 1u) != 0;
            IsRunning = (s.flags & 2u) != 0;
            HasEnded = (s.flags & 4u) != 0;
            Readable = s.readable;
            Writable = s.writable;
            Position = s.position;
            Recorded = s.recorded;
            Dropped = s.dropped;
            Played = s.played;
            Underrun = s.underrun;
            InputLatency = s.inputLatency;
            OutputLatency = s.outputLatency;
            EventsPending = s.eventsPending;
            RingFrames = s.ringFrames;
        }

        internal static AsiochanStreamState NewNative()
        {
            var s = new AsiochanStreamState();
            s.size = AsiochanStreamState.Bytes;
            return s;
        }

        internal static StreamState Read()
        {
            AsiochanStreamState s = NewNative();
            AsioException.Check(AsiochanNative.GetStreamState(ref s), "GetStreamState");
            return new StreamState(ref s);
        }
    }
}
