namespace Asiochan
{
    /// <summary>The result codes the library answers itself (AsioException.Code).</summary>
    public static class ResultCode
    {
        public const int Ok = 0;
        public const int NotPresent = -1000;
        public const int HardwareMalfunction = -999;
        public const int InvalidParameter = -998;
        public const int InvalidMode = -997;
        public const int NoMemory = -994;
        public const int ListNullArgument = -5001;
        public const int ListEntryBusy = -5002;
        public const int ListNoEntry = -5003;
        public const int StreamEnded = -6001;
        public const int DriverStuck = -6002;
    }
}
