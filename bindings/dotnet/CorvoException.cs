// A call into the library failed: the code, the library's fixed name for it, and the reason
// the library noted for the failing call (corvo_last_error).
using System;

namespace Corvo
{
    public sealed class CorvoException : Exception
    {
        public CorvoException(CorvoResult code, string name, string reason, string function)
            : base(Describe(code, name, reason, function))
        {
            Code = code;
            Name = name;
            Reason = reason;
            Function = function;
        }

        public CorvoResult Code { get; private set; }

        // For example "not running".
        public string Name { get; private set; }

        // Why it failed, as one line; "" when the library gave none.
        public string Reason { get; private set; }

        // The C function that failed, for example "corvo_start".
        public string Function { get; private set; }

        // Throws unless code is CORVO_OK. Call it on the thread that made the call, right after
        // it: the reason is kept per thread until that thread's next call.
        internal static void Check(int code, string function)
        {
            if (code != (int)CorvoResult.Ok)
            {
                throw From(code, function);
            }
        }

        internal static CorvoException From(int code, string function)
        {
            var reason = Utf8.DecodeTerminated(NativeMethods.corvo_last_error());
            var name = Utf8.DecodeTerminated(NativeMethods.corvo_result_name(code));
            return new CorvoException((CorvoResult)code, name, reason, function);
        }

        private static string Describe(CorvoResult code, string name, string reason,
                                       string function)
        {
            var shown = function + ": " + name + " (" + (int)code + ")";
            return string.IsNullOrEmpty(reason) ? shown : shown + ": " + reason;
        }
    }
}
