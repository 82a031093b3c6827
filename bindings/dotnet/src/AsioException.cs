using System;
using Asiochan.Interop;

namespace Asiochan
{
    /// <summary>
    /// A call the library (or this binding, before calling it) refused: Code is the
    /// library's result code and Message the library's text for it, with the argument
    /// or the call it concerns.
    /// </summary>
    public class AsioException : Exception
    {
        public int Code { get; private set; }
        /// <summary>The argument refused, when one was (else null).</summary>
        public string ParamName { get; private set; }

        public AsioException(int code, string context = null, string paramName = null)
            : base(Compose(code, context)) {
            Code = code;
            ParamName = paramName;
        }

        static string Compose(int code, string context)
        {
            string text = AsiochanNative.ErrorText(code);
            return string.IsNullOrEmpty(context) ? text : text + " (" + context + ")";
        }

        internal static int Check(int result, string call)
        {
            if (result < 0) throw new AsioException(result, call);
            return result;
        }

        internal static AsioException Argument(string paramName, string why)
        {
            return new AsioException(ResultCode.InvalidParameter, paramName + ": " + why, paramName);
        }
    }

    /// <summary>
    /// A take that is not whole: frames dropped on a full input ring, playback that ran
    /// dry before its end, or fewer frames than asked (time ran out, the stream ended).
    /// Recording holds what was recorded (frames x inputs, the rows after Recorded are 0).
    /// </summary>
    public class GapException : Exception
    {
        public ulong Dropped { get; private set; }
        public ulong Underrun { get; private set; }
        public int Recorded { get; private set; }
        public int Requested { get; private set; }
        public StreamState State { get; private set; }
        public Array Recording { get; private set; }

        internal GapException(StreamState state, ulong underrun, int recorded, int requested, Array recording)
            : base(string.Format("the take has gaps: {0} input frames dropped, {1} frames of playback silence before its end, " +
                                 "{2} of {3} frames recorded", state.Dropped, underrun, recorded, requested)) {
            Dropped = state.Dropped;
            Underrun = underrun;
            Recorded = recorded;
            Requested = requested;
            State = state;
            Recording = recording;
        }
    }
}
