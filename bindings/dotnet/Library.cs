// The loaded library as a whole: its version, and the end a host calls before it unloads it.
namespace Corvo
{
    public static class Library
    {
        // The library's version text, for example "1.1.0".
        public static string Version
        {
            get { return Utf8.DecodeTerminated(NativeMethods.corvo_version()); }
        }

        // Ends the library for this process (corvo_end): stops any session, then every call
        // fails with CorvoResult.TornDown. An earlier end is no failure.
        public static void End()
        {
            var code = NativeMethods.corvo_end();
            if (code != (int)CorvoResult.TornDown)
            {
                CorvoException.Check(code, "corvo_end");
            }
        }
    }
}
