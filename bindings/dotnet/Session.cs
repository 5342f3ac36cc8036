// One streaming session of the library: started by Start, stopped by Dispose. The library runs
// one session per process, so a second Start while one is open fails with AlreadyRunning.
// Methods may be called from any thread; results are the library's JSON as strings, which the
// host parses with the JSON library it already uses. Failures throw CorvoException.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Text;
using System.Threading;

namespace Corvo
{
    public sealed class Session : IDisposable
    {
        // Start and Dispose one at a time, so a stop never hits a session started meanwhile.
        private static readonly object Gate = new object();

        private volatile bool disposed;

        private Session()
        {
        }

        // Starts a session (at most about 15 s): the API at apiHost:apiPort announces the
        // account and names the stream port.
        public static Session Start(string key, int login, string apiHost, int apiPort)
        {
            var keyBytes = Utf8.Encode(Required(key, "key"), "key");
            var hostBytes = Utf8.Encode(Required(apiHost, "apiHost"), "apiHost");
            lock (Gate)
            {
                CorvoException.Check(
                    NativeMethods.corvo_start(keyBytes, login, hostBytes, apiPort), "corvo_start");
                return new Session();
            }
        }

        public bool IsDisposed
        {
            get { return disposed; }
        }

        // Stops the session (corvo_stop); a second Dispose does nothing.
        public void Dispose()
        {
            lock (Gate)
            {
                if (disposed)
                {
                    return;
                }
                disposed = true;
                var code = NativeMethods.corvo_stop();
                // Stopped already (by Library.End or by the host's own corvo_stop) is what a
                // Dispose wants.
                if (code != (int)CorvoResult.NotRunning && code != (int)CorvoResult.TornDown)
                {
                    CorvoException.Check(code, "corvo_stop");
                }
            }
        }

        // Subscribes the instruments and returns their snapshot, a JSON object.
        public string Subscribe(params string[] symbols)
        {
            if (symbols == null || symbols.Length == 0)
            {
                throw new ArgumentException("name at least one instrument; SubscribeAll "
                                            + "subscribes every topic", "symbols");
            }
            foreach (var symbol in symbols)
            {
                if (string.IsNullOrEmpty(symbol) || symbol.IndexOf(',') >= 0)
                {
                    throw new ArgumentException("each instrument code must be non-empty and "
                                                + "hold no comma", "symbols");
                }
            }
            return SubscribeList(string.Join(",", symbols));
        }

        // Subscribes every topic of the stream; no snapshot is fetched for that.
        public void SubscribeAll()
        {
            SubscribeList("");
        }

        public void Unsubscribe(string symbol)
        {
            var bytes = Utf8.Encode(Required(symbol, "symbol"), "symbol");
            ThrowIfDisposed();
            CorvoException.Check(NativeMethods.corvo_unsubscribe(bytes), "corvo_unsubscribe");
        }

        // The records updated since the last poll as one JSON object, or null when nothing is
        // pending. One result holds at most about 10 kB; the rest stays pending.
        public string Poll()
        {
            ThrowIfDisposed();
            string records;
            var code = Refresh(out records);
            if (code != (int)CorvoResult.NothingPending)
            {
                CorvoException.Check(code, "corvo_refresh");
            }
            return records;
        }

        // Waits until updates are pending (true) or the timeout passes (false);
        // Timeout.InfiniteTimeSpan waits without limit.
        public bool Wait(TimeSpan timeout)
        {
            var milliseconds = Milliseconds(timeout);
            ThrowIfDisposed();
            var code = NativeMethods.corvo_wait(milliseconds);
            if (code == (int)CorvoResult.NothingPending)
            {
                return false;
            }
            CorvoException.Check(code, "corvo_wait");
            return true;
        }

        // Each non-empty Poll as it arrives, woken by corvo_wait, until the timeout passes or
        // the Session is disposed (Timeout.InfiniteTimeSpan: until then only).
        public IEnumerable<string> Updates(TimeSpan timeout)
        {
            var milliseconds = Milliseconds(timeout);
            ThrowIfDisposed();
            return UpdatesWithin(milliseconds);
        }

        // The latest record of one instrument, as a JSON object of one member.
        public string SymbolRecord(string symbol)
        {
            var bytes = Utf8.Encode(Required(symbol, "symbol"), "symbol");
            ThrowIfDisposed();
            NativeBlock block;
            UIntPtr length;
            var code = NativeMethods.corvo_symbol_record(bytes, out block, out length);
            return Taken(block, length, code, "corvo_symbol_record");
        }

        // The latest Top20 ranking text; NotFound before the first arrived.
        public string Top20()
        {
            ThrowIfDisposed();
            NativeBlock block;
            UIntPtr length;
            var code = NativeMethods.corvo_top20(out block, out length);
            return Taken(block, length, code, "corvo_top20");
        }

        // The session's and the stream's health as a JSON object ("state", "connected",
        // "messages", "topics", "pending", ...).
        public string Status()
        {
            ThrowIfDisposed();
            NativeBlock block;
            UIntPtr length;
            var code = NativeMethods.corvo_status(out block, out length);
            return Taken(block, length, code, "corvo_status");
        }

        // One query; symbol is required by the kinds that name one instrument.
        public string Query(QueryKind kind, string symbol = null)
        {
            var bytes = Utf8.Encode(symbol, "symbol");
            ThrowIfDisposed();
            NativeBlock block;
            UIntPtr length;
            var code = NativeMethods.corvo_query((int)kind, bytes, out block, out length);
            return Taken(block, length, code, "corvo_query");
        }

        public string Fundamental(string symbol)
        {
            return Query(QueryKind.Fundamental, Required(symbol, "symbol"));
        }

        public string FundamentalAllLastYear()
        {
            return Query(QueryKind.FundamentalAllLastYear);
        }

        public string Iaa(string symbol)
        {
            return Query(QueryKind.Iaa, Required(symbol, "symbol"));
        }

        public string IaaAllSymbols()
        {
            return Query(QueryKind.IaaAllSymbols);
        }

        public string KeyMarketStatistics()
        {
            return Query(QueryKind.KeyMarketStatistics);
        }

        public string Volume(string symbol)
        {
            return Query(QueryKind.Volume, Required(symbol, "symbol"));
        }

        // Sends a feedback record; '|' characters are removed from the message.
        public void Feedback(int account, int second, int third, int fourth, string message)
        {
            var bytes = Utf8.Encode(Required(message, "message"), "message");
            ThrowIfDisposed();
            CorvoException.Check(
                NativeMethods.corvo_feedback(account, second, third, fourth, bytes),
                "corvo_feedback");
        }

        // Writes one file per instrument below directory (null: the "Files" directory beside
        // the library's "Libraries" directory); on failure every existing file stays as it was.
        public void ExportFiles(FileKind kind, string directory = null)
        {
            var bytes = Utf8.Encode(directory, "directory");
            ThrowIfDisposed();
            CorvoException.Check(NativeMethods.corvo_export_files((int)kind, bytes),
                                 "corvo_export_files");
        }

        private string SubscribeList(string symbols)
        {
            var bytes = Utf8.Encode(symbols, "symbols");
            ThrowIfDisposed();
            NativeBlock block;
            UIntPtr length;
            var code = NativeMethods.corvo_subscribe(bytes, out block, out length);
            return Taken(block, length, code, "corvo_subscribe");
        }

        private IEnumerable<string> UpdatesWithin(int milliseconds)
        {
            var clock = Stopwatch.StartNew();
            var left = milliseconds;
            string records;
            while (NextUpdate(left, out records))
            {
                if (records != null)
                {
                    yield return records;
                }
                if (milliseconds >= 0)
                {
                    // Past the deadline a busy stream would keep the loop going forever.
                    left = (int)(milliseconds - clock.ElapsedMilliseconds);
                    if (left <= 0)
                    {
                        yield break;
                    }
                }
            }
        }

        // False at the timeout or once disposed; records is null when another thread's poll
        // took what was pending.
        private bool NextUpdate(int left, out string records)
        {
            records = null;
            if (disposed)
            {
                return false;
            }
            var function = "corvo_wait";
            var code = NativeMethods.corvo_wait(left);
            if (code == (int)CorvoResult.Ok)
            {
                function = "corvo_refresh";
                code = Refresh(out records);
            }
            // A Dispose on another thread stops the session under the wait or the refresh.
            if (code == (int)CorvoResult.NotRunning && disposed)
            {
                return false;
            }
            if (code == (int)CorvoResult.NothingPending)
            {
                return function == "corvo_refresh";
            }
            CorvoException.Check(code, function);
            return true;
        }

        // corvo_refresh into a buffer that always suffices; records is set on CORVO_OK only.
        private static int Refresh(out string records)
        {
            records = null;
            var buffer = new byte[NativeMethods.RefreshCapacity];
            UIntPtr needed;
            var code = NativeMethods.corvo_refresh(buffer, new UIntPtr((uint)buffer.Length),
                                                   out needed);
            if (code == (int)CorvoResult.Ok)
            {
                // needed counts the terminating zero.
                var length = (int)Math.Min(needed.ToUInt64() - 1, (ulong)buffer.Length - 1);
                records = Encoding.UTF8.GetString(buffer, 0, length);
            }
            return code;
        }

        // The text of a handed-out block, which is released on every path.
        private static string Taken(NativeBlock block, UIntPtr length, int code, string function)
        {
            using (block)
            {
                CorvoException.Check(code, function);
                return block.Text(length);
            }
        }

        private void ThrowIfDisposed()
        {
            if (disposed)
            {
                throw new ObjectDisposedException("Corvo.Session",
                                                  "this Session is disposed; start a new one");
            }
        }

        private static string Required(string value, string parameter)
        {
            if (value == null)
            {
                throw new ArgumentNullException(parameter);
            }
            return value;
        }

        private static int Milliseconds(TimeSpan timeout)
        {
            if (timeout == Timeout.InfiniteTimeSpan)
            {
                return -1;
            }
            if (timeout < TimeSpan.Zero)
            {
                throw new ArgumentOutOfRangeException("timeout", "must not be negative");
            }
            return (int)Math.Min(Math.Ceiling(timeout.TotalMilliseconds), int.MaxValue);
        }
    }
}
