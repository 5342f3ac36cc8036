// Memory the library handed out: released with corvo_free exactly once, by Dispose or, if a
// caller never got that far, by the finalizer.
using System;
using System.Runtime.InteropServices;

namespace Corvo
{
    internal sealed class NativeBlock : SafeHandle
    {
        // The marshaller creates the instance and fills in the pointer the call wrote.
        public NativeBlock() : base(IntPtr.Zero, true)
        {
        }

        public override bool IsInvalid
        {
            get { return handle == IntPtr.Zero; }
        }

        protected override bool ReleaseHandle()
        {
            NativeMethods.corvo_free(handle);
            return true;
        }

        // The block's bytes as text; length is what the call reported.
        internal string Text(UIntPtr length)
        {
            return IsInvalid ? "" : Utf8.Decode(handle, checked((int)length.ToUInt64()));
        }
    }
}
