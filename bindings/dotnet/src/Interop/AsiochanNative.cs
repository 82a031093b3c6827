using System;
using System.Runtime.InteropServices;

namespace Asiochan.Interop
{
    /// <summary>
    /// Every export of asiochan.h, one to one, cdecl. DllImport("asiochan") finds
    /// asiochan.dll on Windows (in the process's own bitness) and libasiochan.so on Linux.
    /// The first call checks the struct layouts against the header's numbers for the
    /// running bitness: a mismatch throws TypeInitializationException, never a misread.
    /// </summary>
    public static class AsiochanNative
    {
        public const string Library = "asiochan";
        const CallingConvention Cdecl = CallingConvention.Cdecl;

        static AsiochanNative()
        {
            StructLayouts.Verify(StructLayouts.Expected());
        }

        // ---- Errors ----
        [DllImport(Library, CallingConvention = Cdecl)] public static extern IntPtr AsiochanErrorText(int code);

        // ---- Installed drivers ----
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int getAsioDriverCount();
        // name: at least 32 bytes; receives a NUL-terminated name.
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int getAsioDriverName(int index, [Out] byte[] name);
        [DllImport(Library, CallingConvention = Cdecl, CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern byte loadAsioDriver(string name);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern void releaseAsioDriver();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern byte IsLxcardInsert();

        // ---- Driver calls ----
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int ASIOControlPanel();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int ASIOGetChannelInfo(ref AsiochanChannelInfo info);

        // ---- Initialization and capabilities ----
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int Initialize();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int SetSampleRate(double rate);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int GetBufferSizeMax();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int GetBufferSizeMin();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int GetBufferSizePreferred();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern double GetCurrentSampleRate();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int GetInputChannelCount();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int GetOutputChannelCount();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int GetInputLatency();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int GetOutputLatency();

        // ---- Run start and finish ----
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int Prepare();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int Finish();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern uint GetDriverRequests();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern uint GetPeriodCount();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern uint GetSkippedPeriods();

        // ---- Capture ----
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int SetCaptureBuffer(IntPtr buffer, int byteLength, uint channel);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int CaptureBuff([In] CaptureRequest[] requests, int count);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern void StartCapture();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern void StopCapture();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern byte IsCaptureRunning();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern byte IsPortCaptureRunning(uint channel);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern void StartCaptureAndPlayback();

        // ---- Playback ----
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int SetPlayBuffer(IntPtr data, int byteLength, uint channel);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int PlayBuff();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern void StartPlayback();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern void StopPlayback();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern byte IsCanSendNextPlaybackBuffer(uint channel);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern byte IsPortPlaybackRunning(uint channel);

        // ---- Streams ----
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int OpenStream(ref AsiochanStreamConfig config);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int StartStream();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int ReadStream(IntPtr frames, int count, int timeoutMs, ref AsiochanStreamBlock block);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int WriteStream(IntPtr frames, int count, int timeoutMs, ref AsiochanStreamBlock block);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int GetStreamState(ref AsiochanStreamState state);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int StopStream();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern int CloseStream();
        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern int PlayAndRecord(ref AsiochanStreamConfig config, IntPtr play, int playFrames,
                                               IntPtr record, int recordFrames, int timeoutMs, ref AsiochanStreamState state);

        // ---- File players ----
        [DllImport(Library, CallingConvention = Cdecl, CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern byte MultipleChanelPlayStart(string path, uint mask, byte loop);
        [DllImport(Library, CallingConvention = Cdecl, CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern byte MultipleChanelPlayStartMapped(string path, uint mask, byte loop);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern void MultipleChanelPlayStop();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern byte MultipleChanelSetVolume(float volume);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern byte IsMultipleInPlay();
        [DllImport(Library, CallingConvention = Cdecl, CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern byte SingleChanelPlayStart(string path, uint channel, byte loop);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern void SingleChanelPlayStop();
        [DllImport(Library, CallingConvention = Cdecl)] public static extern byte SingleChanelSetVolume(float volume);
        [DllImport(Library, CallingConvention = Cdecl)] public static extern byte IsSingleInPlay();

        /// <summary>The library's text for a result code (never null).</summary>
        public static string ErrorText(int code)
        {
            IntPtr text = AsiochanErrorText(code);
            return text == IntPtr.Zero ? "result " + code : Marshal.PtrToStringAnsi(text);
        }
    }
}
