using System;
using System.Runtime.InteropServices;

namespace Asiochan.Interop
{
    /// <summary>The driver's description of one channel (52 bytes).</summary>
    [StructLayout(LayoutKind.Explicit, Size = 52)]
    public unsafe struct AsiochanChannelInfo
    {
        [FieldOffset(0)] public int channel;
        [FieldOffset(4)] public int isInput;
        [FieldOffset(8)] public int isActive;
        [FieldOffset(12)] public int channelGroup;
        [FieldOffset(16)] public int type;
        [FieldOffset(20)] public fixed byte name[32];

        public string Name
        {
            get { fixed (byte* p = name) return NativeText.FromBytes(p, 32); }
        }
    }

    /// <summary>
    /// One entry of CaptureBuff's array: 12 bytes in 32-bit processes, 16 in 64-bit ones.
    /// Sequential, so the pointer-sized field sets the layout of the running bitness.
    /// </summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct CaptureRequest
    {
        public IntPtr buffer;
        public int byteLength;
        public uint channel;
    }

    /// <summary>What OpenStream and PlayAndRecord take (152 bytes).</summary>
    [StructLayout(LayoutKind.Explicit, Size = 152)]
    public unsafe struct AsiochanStreamConfig
    {
        public const int Bytes = 152;
        [FieldOffset(0)] public uint size;
        [FieldOffset(4)] public int format;
        [FieldOffset(8)] public int inputCount;
        [FieldOffset(12)] public int outputCount;
        [FieldOffset(16)] public int ringFrames;
        [FieldOffset(20)] public int reserved;
        [FieldOffset(24)] public fixed byte inputs[64];
        [FieldOffset(88)] public fixed byte outputs[64];
    }

    /// <summary>One stream event (16 bytes).</summary>
    [StructLayout(LayoutKind.Explicit, Size = 16)]
    public struct AsiochanStreamEvent
    {
        [FieldOffset(0)] public uint code;
        [FieldOffset(4)] public uint frames;
        [FieldOffset(8)] public ulong position;
    }

    /// <summary>What ReadStream and WriteStream moved (160 bytes); eight events inline.</summary>
    [StructLayout(LayoutKind.Explicit, Size = 160)]
    public unsafe struct AsiochanStreamBlock
    {
        public const int Bytes = 160;
        public const int EventCapacity = 8;
        [FieldOffset(0)] public uint size;
        [FieldOffset(4)] public uint eventCount;
        [FieldOffset(8)] public ulong position;
        [FieldOffset(16)] public ulong lost;
        [FieldOffset(24)] public uint eventsLost;
        [FieldOffset(28)] public uint reserved;
        // AsiochanStreamEvent[8]: C# has no fixed arrays of structs, so the bytes and an accessor.
        [FieldOffset(32)] public fixed byte events[16 * EventCapacity];

        public AsiochanStreamEvent Event(int index)
        {
            if ((uint)index >= EventCapacity) throw new ArgumentOutOfRangeException("index");
            fixed (byte* p = events) return ((AsiochanStreamEvent*)p)[index];
        }
    }

    /// <summary>GetStreamState's answer (80 bytes).</summary>
    [StructLayout(LayoutKind.Explicit, Size = 80)]
    public unsafe struct AsiochanStreamState
    {
        public const int Bytes = 80;
        [FieldOffset(0)] public uint size;
        [FieldOffset(4)] public uint flags;
        [FieldOffset(8)] public uint readable;
        [FieldOffset(12)] public uint writable;
        [FieldOffset(16)] public ulong position;
        [FieldOffset(24)] public ulong recorded;
        [FieldOffset(32)] public ulong dropped;
        [FieldOffset(40)] public ulong played;
        [FieldOffset(48)] public ulong underrun;
        [FieldOffset(56)] public int inputLatency;
        [FieldOffset(60)] public int outputLatency;
        [FieldOffset(64)] public uint eventsPending;
        [FieldOffset(68)] public uint ringFrames;
        [FieldOffset(72)] public fixed uint reserved[2];
    }

    static class NativeText
    {
        /// <summary>The NUL-terminated text in a fixed field of `capacity` bytes.</summary>
        public static unsafe string FromBytes(byte* p, int capacity)
        {
            int n = 0;
            while (n < capacity && p[n] != 0) ++n;
            // The encoding the marshaller uses for the library's char* (ANSI on Windows, UTF-8 on Linux).
            return n == 0 ? string.Empty : Marshal.PtrToStringAnsi((IntPtr)p, n);
        }
    }
}
