// The corvo_ functions of corvo.h as P/Invoke declarations: texts go in as zero-terminated
// UTF-8 byte arrays and come out as pointers, so no platform code page is ever involved.
using System;
using System.Runtime.InteropServices;

namespace Corvo
{
    internal static class NativeMethods
    {
        // Without an extension: Windows and .NET add their own ("CorvoStreaming_DLL.dll",
        // "libCorvoStreaming_DLL.so"); Mono maps it to the SONAME through Corvo.dll.config.
        internal const string Library = "CorvoStreaming_DLL";

        internal const int RefreshCapacity = 10001;

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern IntPtr corvo_version();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern IntPtr corvo_last_error();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern IntPtr corvo_result_name(int result);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern void corvo_free(IntPtr memory);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_start(byte[] key, int login, byte[] apiHost, int apiPort);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_stop();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_end();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_subscribe(byte[] symbols, out NativeBlock snapshot,
                                                   out UIntPtr length);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_unsubscribe(byte[] symbol);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_refresh([Out] byte[] buffer, UIntPtr capacity,
                                                 out UIntPtr needed);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_wait(int timeoutMs);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_symbol_record(byte[] symbol, out NativeBlock record,
                                                       out UIntPtr length);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_top20(out NativeBlock text, out UIntPtr length);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_query(int kind, byte[] symbol, out NativeBlock reply,
                                               out UIntPtr length);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_feedback(int account, int second, int third, int fourth,
                                                  byte[] message);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_export_files(int kind, byte[] directory);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int corvo_status(out NativeBlock json, out UIntPtr length);
    }
}
