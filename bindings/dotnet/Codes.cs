// The result codes, query services and file kinds of corvo.h, with the same values.
namespace Corvo
{
    public enum CorvoResult
    {
        Ok = 0,
        NotRunning = 1,
        BadArgument = 2,
        BufferTooSmall = 3,
        ExchangeFailed = 4,
        NothingPending = 5,
        TornDown = 6,
        StartFailed = 7,
        Refused = 8,
        NotFound = 9,
        NoMemory = 10,
        Internal = 11,
        AlreadyRunning = 12,
        Busy = 13,
    }

    public enum QueryKind
    {
        Fundamental = 1,
        FundamentalAllLastYear = 2,
        Iaa = 3,
        IaaAllSymbols = 4,
        KeyMarketStatistics = 5,
        Volume = 6,
    }

    public enum FileKind
    {
        Fundamental = 1,
        Iaa = 2,
        Volume = 3,
    }
}
