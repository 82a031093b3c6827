using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Text;

namespace Asiochan.Interop
{
    /// <summary>One struct's size and field offsets as the C header lays them out.</summary>
    public sealed class LayoutRow
    {
        public readonly Type Type;
        public readonly int Size;
        public readonly KeyValuePair<string, int>[] Offsets;

        public LayoutRow(Type type, int size, params object[] fieldsAndOffsets)
        {
            Type = type;
            Size = size;
            Offsets = new KeyValuePair<string, int>[fieldsAndOffsets.Length / 2];
            for (int i = 0; i < Offsets.Length; ++i)
                Offsets[i] = new KeyValuePair<string, int>((string)fieldsAndOffsets[2 * i], (int)fieldsAndOffsets[2 * i + 1]);
        }
    }

    /// <summary>
    /// The header's numbers for every struct the flat layer passes, for the running
    /// bitness, and the check that the declarations here agree with them.
    /// </summary>
    public static class StructLayouts
    {
        /// <summary>The header's layouts in a process of this bitness.</summary>
        public static LayoutRow[] Expected()
        {
            bool is64 = IntPtr.Size == 8;
            return new[] {
                new LayoutRow(typeof(AsiochanChannelInfo), 52, "channel", 0, "isInput", 4, "isActive", 8,
                                 "channelGroup", 12, "type", 16, "name", 20),
                new LayoutRow(typeof(CaptureRequest), is64 ? 16 : 12, "buffer", 0, "byteLength", is64 ? 8 : 4,
                                 "channel", is64 ? 12 : 8),
                new LayoutRow(typeof(AsiochanStreamConfig), 152, "size", 0, "format", 4, "inputCount", 8,
                                 "outputCount", 12, "ringFrames", 16, "reserved", 20, "inputs", 24, "outputs", 88),
                new LayoutRow(typeof(AsiochanStreamEvent), 16, "code", 0, "frames", 4, "position", 8),
                new LayoutRow(typeof(AsiochanStreamBlock), 160, "size", 0, "eventCount", 4, "position", 8, "lost", 16,
                                 "eventsLost", 24, "reserved", 28, "events", 32),
                new LayoutRow(typeof(AsiochanStreamState), 80, "size", 0, "flags", 4, "readable", 8, "writable", 12,
                                 "position", 16, "recorded", 24, "dropped", 32, "played", 40, "underrun", 48,
                                 "inputLatency", 56, "outputLatency", 60, "eventsPending", 64, "ringFrames", 68,
                                 "reserved", 72),
            };
        }

        /// <summary>
        /// Throws InvalidOperationException naming every size and offset that differs
        /// from `layouts` (so the flat layer's type initialiser fails, never misreads).
        /// </summary>
        public static void Verify(IEnumerable<LayoutRow> layouts)
        {
            var wrong = new StringBuilder();
            foreach (LayoutRow layout in layouts) {
                int size = Marshal.SizeOf(layout.Type);
                if (size != layout.Size)
                    wrong.AppendFormat(" {0}: {1} bytes, the header says {2};", layout.Type.Name, size, layout.Size);
                foreach (KeyValuePair<string, int> field in layout.Offsets) {
                    int offset = OffsetOf(layout.Type, field.Key);
                    if (offset != field.Value)
                        wrong.AppendFormat(" {0}.{1} at {2}, the header says {3};", layout.Type.Name, field.Key, offset,
                                           field.Value);
                }
            }
            if (wrong.Length > 0)
                throw new InvalidOperationException(string.Format(
                    "asiochan: the struct layouts do not match the C header in this {0}-bit process:{1}",
                    IntPtr.Size * 8, wrong.ToString().TrimEnd(';')));
        }

        static int OffsetOf(Type type, string field)
        {
            try {
                return Marshal.OffsetOf(type, field).ToInt32();
            } catch (ArgumentException) {
                return -1;  // no such field: reported as a mismatch
            }
        }
    }
}
