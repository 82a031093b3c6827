using System.Collections.Generic;
using System.Collections.ObjectModel;

namespace Asiochan
{
    /// <summary>One channel as the driver describes it.</summary>
    public sealed class ChannelInfo
    {
        public int Channel { get; private set; }
        public bool IsInput { get; private set; }
        public bool IsActive { get; private set; }
        public int Group { get; private set; }
        /// <summary>The driver's sample type code (18: Int32LSB, 19: Float32LSB, ...).</summary>
        public int SampleType { get; private set; }
        /// <summary>Bytes per sample of SampleType; 0 for a type without a width (DSD, unknown).</summary>
        public int SampleBytes { get { return SampleTypes.Bytes(SampleType); } }
        public string Name { get; private set; }

        internal ChannelInfo(int channel, bool isInput, bool isActive, int group, int type, string name) {
            Channel = channel;
            IsInput = isInput;
            IsActive = isActive;
            Group = group;
            SampleType = type;
            Name = name;
        }

        public override string ToString() { return (IsInput ? "in " : "out ") + Channel + " " + Name; }
    }

    /// <summary>What the driver reported when it was opened.</summary>
    public sealed class DriverInfo
    {
        public string Name { get; private set; }
        public IReadOnlyList<ChannelInfo> Inputs { get; private set; }
        public IReadOnlyList<ChannelInfo> Outputs { get; private set; }
        public int BufferSizeMin { get; private set; }
        public int BufferSizeMax { get; private set; }
        /// <summary>Frames per period.</summary>
        public int BufferSizePreferred { get; private set; }
        public int InputLatency { get; private set; }
        public int OutputLatency { get; private set; }

        internal DriverInfo(string name, ChannelInfo[] inputs, ChannelInfo[] outputs, int min, int max, int preferred,
                            int inputLatency, int outputLatency) {
            Name = name;
            Inputs = new ReadOnlyCollection<ChannelInfo>(inputs);
            Outputs = new ReadOnlyCollection<ChannelInfo>(outputs);
            BufferSizeMin = min;
            BufferSizeMax = max;
            BufferSizePreferred = preferred;
            InputLatency = inputLatency;
            OutputLatency = outputLatency;
        }
    }

    /// <summary>The widths of the sample types the library knows (the header's table).</summary>
    static class SampleTypes
    {
        public static int Bytes(int type)
        {
            switch (type) {
                case 0: case 16: return 2;
                case 1: case 17: return 3;
                case 4: case 20: return 8;
                case 2: case 3: case 8: case 9: case 10: case 11:
                case 18: case 19: case 24: case 25: case 26: case 27: return 4;
                default: return 0;
            }
        }
    }
}
