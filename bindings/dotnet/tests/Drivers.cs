using System;
using System.IO;

namespace Asiochan.Tests
{
    /// <summary>The simulated driver classes the Linux library lists, and where the repository is.</summary>
    static class Drivers
    {
        public const string Loopback = "asiochan simulated driver";  // 8 in / 8 out, input k hears output k
        public const string Fast = "asiochan sim (fast)";             // 64 in / 64 out at 8x real time
        public const string Resets = "asiochan sim (resets)";
        public const string Skips = "asiochan sim (skips)";

        /// <summary>The repository's root: ASIOCHAN_ROOT, else the first folder above the tests with include/asiochan.h.</summary>
        public static string Root()
        {
            string root = Environment.GetEnvironmentVariable("ASIOCHAN_ROOT");
            if (!string.IsNullOrEmpty(root)) return root;
            for (string dir = AppDomain.CurrentDomain.BaseDirectory; dir != null; dir = Path.GetDirectoryName(dir))
                if (File.Exists(Path.Combine(dir, "include/asiochan.h"))) return dir;
            throw new InvalidOperationException("set ASIOCHAN_ROOT to the repository");
        }
    }
}
