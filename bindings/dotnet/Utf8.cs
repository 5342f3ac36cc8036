// Texts cross the boundary as UTF-8 both ways, whatever the platform's ANSI code page is.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Corvo
{
    internal static class Utf8
    {
        private static readonly Encoding Strict = new UTF8Encoding(false, true);

        // A zero-terminated copy of text; null stays null (the library reads that as absent).
        // A zero inside would silently cut the text short, so it is refused.
        internal static byte[] Encode(string text, string parameter)
        {
            if (text == null)
            {
                return null;
            }
            if (text.IndexOf('\0') >= 0)
            {
                throw new ArgumentException("must not contain a zero character", parameter);
            }
            var bytes = new byte[Strict.GetByteCount(text) + 1];
            Strict.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }

        // Exactly length bytes from memory; a byte sequence that is not UTF-8 becomes U+FFFD.
        internal static string Decode(IntPtr memory, int length)
        {
            if (memory == IntPtr.Zero || length == 0)
            {
                return "";
            }
            var bytes = new byte[length];
            Marshal.Copy(memory, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }

        // A zero-terminated text the library owns (version, names, reasons).
        internal static string DecodeTerminated(IntPtr memory)
        {
            if (memory == IntPtr.Zero)
            {
                return "";
            }
            var length = 0;
            while (Marshal.ReadByte(memory, length) != 0)
            {
                length++;
            }
            return Decode(memory, length);
        }
    }
}
