// The .NET binding against a running corvo-sim: CorvoTests.exe API_PORT. Prints one line per
// test and the closing line "N passed, M failed"; exits 1 on any failure.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Net;
using System.Net.Sockets;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;
using System.Threading;
using Corvo;

internal static class SessionTests
{
    private static readonly TimeSpan Deadline = TimeSpan.FromSeconds(15);
    private static int apiPort;

    private static int Main(string[] arguments)
    {
        apiPort = int.Parse(arguments[0]);
        Session shared = null;
        var tests = new[]
        {
            Test("a start against a closed port throws StartFailed with its name and reason",
                 StartAgainstClosedPort),
            Test("texts that are null or hold a zero are refused before any call",
                 TextsCheckedFirst),
            Test("Start answers a running session",
                 () => shared = Session.Start("demo-key", 1001, "127.0.0.1", apiPort)),
            Test("subscribe returns the snapshot of the named instruments",
                 () => SubscribeReturnsSnapshot(shared)),
            Test("Wait and Updates deliver the records that follow", () => UpdatesFollow(shared)),
            Test("status shows a running, connected stream that counted messages",
                 () => StatusShowsStream(shared)),
            Test("queries answer the API's JSON", () => QueriesAnswer(shared)),
            Test("Top20 and the record of one instrument arrive", () => Top20AndRecord(shared)),
            Test("a refusal carries its code and a UTF-8 reason naming the text",
                 () => RefusalCarriesUtf8Reason(shared)),
            Test("feedback is accepted and ExportFiles writes files",
                 () => FeedbackAndFiles(shared)),
            Test("a second Start throws AlreadyRunning and the first runs on",
                 () => SecondStartRefused(shared)),
            Test("Dispose twice stops once; calls after it throw ObjectDisposedException",
                 () => DisposeTwice(shared)),
            Test("Updates ends quietly when another thread disposes the session",
                 UpdatesEndOnDispose),
            Test("after Library.End a start throws TornDown", EndTearsDown),
        };

        int passed = 0, failed = 0;
        foreach (var test in tests)
        {
            try
            {
                test.Value();
                passed++;
                Console.WriteLine("ok   " + test.Key);
            }
            catch (Exception error)
            {
                failed++;
                Console.WriteLine("FAIL " + test.Key + ": " + error);
            }
        }
        if (shared != null)
        {
            shared.Dispose();
        }
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }

    private static void StartAgainstClosedPort()
    {
        var listener = new TcpListener(IPAddress.Loopback, 0);
        listener.Start();
        var closed = ((IPEndPoint)listener.LocalEndpoint).Port;
        listener.Stop();
        var error = Throws<CorvoException>(() => Session.Start("demo-key", 1001, "127.0.0.1",
                                                               closed));
        Expect(error.Code == CorvoResult.StartFailed, "code " + error.Code);
        Expect(error.Name == "start failed", "name \"" + error.Name + "\"");
        Expect(error.Reason.Length > 0 && error.Message.Contains(error.Reason),
               "reason \"" + error.Reason + "\"");
    }

    private static void TextsCheckedFirst()
    {
        Throws<ArgumentNullException>(() => Session.Start(null, 1001, "127.0.0.1", apiPort));
        var zero = Throws<ArgumentException>(
            () => Session.Start("demo\0key", 1001, "127.0.0.1", apiPort));
        Expect(zero.ParamName == "key", "parameter " + zero.ParamName);
    }

    private static void SubscribeReturnsSnapshot(Session session)
    {
        var snapshot = session.Subscribe("AAA", "AAB");
        Expect(snapshot.StartsWith("{") && snapshot.Contains("AAA"), "snapshot " + snapshot);
    }

    private static void UpdatesFollow(Session session)
    {
        Expect(session.Wait(Deadline), "Wait saw nothing pending within " + Deadline);
        var seen = session.Updates(Deadline).FirstOrDefault(u => u.Contains("\"AAA_Corvo\""));
        Expect(seen != null, "no update of AAA within " + Deadline);
        Expect(seen.StartsWith("{") && seen.EndsWith("}"), "updates " + seen);
    }

    private static void StatusShowsStream(Session session)
    {
        string status = null;
        Eventually(() =>
        {
            status = session.Status();
            return Number(status, "messages") > 0 && status.Contains("\"connected\":true");
        }, "a connected stream with a message counted: " + status);
        Expect(status.Contains("\"state\":\"running\""), "status " + status);
        Expect(Number(status, "subscriptions") >= 2, "status " + status);
    }

    private static void QueriesAnswer(Session session)
    {
        var answers = new Dictionary<string, Func<string>>
        {
            { "Fundamental", () => session.Fundamental("AAA") },
            { "FundamentalAllLastYear", session.FundamentalAllLastYear },
            { "Iaa", () => session.Iaa("AAA") },
            { "IaaAllSymbols", session.IaaAllSymbols },
            { "KeyMarketStatistics", session.KeyMarketStatistics },
            { "Volume", () => session.Query(QueryKind.Volume, "AAA") },
        };
        foreach (var answer in answers)
        {
            var reply = answer.Value().Trim();
            Expect(reply.Length > 2 && (reply[0] == '{' || reply[0] == '['),
                   answer.Key + " answered " + reply);
        }
    }

    private static void Top20AndRecord(Session session)
    {
        string ranking = null;
        Eventually(() =>
        {
            try
            {
                ranking = session.Top20();
                return ranking.Length > 0;
            }
            catch (CorvoException error)
            {
                Expect(error.Code == CorvoResult.NotFound, error.Message);
                return false;
            }
        }, "a Top20 ranking");
        var record = session.SymbolRecord("AAA");
        Expect(record.StartsWith("{\"AAA_Corvo\""), "record " + record);
        var missing = Throws<CorvoException>(() => session.SymbolRecord("ZZZ"));
        Expect(missing.Code == CorvoResult.NotFound, "code " + missing.Code);
    }

    private static void RefusalCarriesUtf8Reason(Session session)
    {
        const string name = "\u00c4\u00d6\u00dc\u20ac";
        var error = Throws<CorvoException>(() => session.Unsubscribe(name));
        Expect(error.Code == CorvoResult.Refused && error.Name == "refused",
               "code " + error.Code + " " + error.Name);
        Expect(error.Function == "corvo_unsubscribe", "function " + error.Function);
        Expect(error.Reason.Contains("\"" + name + "\""), "reason " + error.Reason);
    }

    private static void FeedbackAndFiles(Session session)
    {
        session.Feedback(1001, 1, 2, 3, "fine|good");
        var directory = Path.Combine(Path.GetTempPath(), "corvo-dotnet-" + Guid.NewGuid());
        try
        {
            session.ExportFiles(FileKind.Iaa, directory);
            var files = Directory.GetFiles(Path.Combine(directory, "iaa"), "*.json");
            Expect(files.Length > 0, "no file in " + directory);
        }
        finally
        {
            if (Directory.Exists(directory))
            {
                Directory.Delete(directory, true);
            }
        }
    }

    private static void SecondStartRefused(Session session)
    {
        var error = Throws<CorvoException>(
            () => Session.Start("demo-key", 1001, "127.0.0.1", apiPort));
        Expect(error.Code == CorvoResult.AlreadyRunning, "code " + error.Code);
        Expect(session.Status().Contains("\"state\":\"running\""), "the first stopped");
    }

    private static void DisposeTwice(Session session)
    {
        session.Dispose();
        session.Dispose();
        Expect(session.IsDisposed, "IsDisposed is false");
        Throws<ObjectDisposedException>(() => session.Status());
        Throws<ObjectDisposedException>(() => session.Poll());
        // The library's session stopped: a new one starts.
        using (var next = Session.Start("demo-key", 1001, "127.0.0.1", apiPort))
        {
            Expect(next.Status().Contains("\"state\":\"running\""), "the new one is not running");
        }
    }

    private static void UpdatesEndOnDispose()
    {
        // Nothing subscribed, so nothing is pending and the reader stays inside corvo_wait.
        var session = Session.Start("demo-key", 1001, "127.0.0.1", apiPort);
        var updates = session.Updates(Timeout.InfiniteTimeSpan);
        Exception failure = null;
        var readerThread = -1;
        var reader = new Thread(() =>
        {
            try
            {
                Volatile.Write(ref readerThread, syscall(SysGettid));
                foreach (var records in updates)
                {
                    GC.KeepAlive(records);
                }
            }
            catch (Exception error)
            {
                failure = error;
            }
        });
        reader.Start();
        Eventually(() => Blocked(Volatile.Read(ref readerThread)), "the reader waiting");
        session.Dispose();
        Expect(reader.Join(Deadline), "Updates went on after Dispose");
        Expect(failure == null, "Updates threw " + failure);
    }

    private const int SysGettid = 186;

    [DllImport("libc")]
    private static extern int syscall(int number);

    // Whether the thread sleeps: past its start, the reader sleeps only inside corvo_wait.
    private static bool Blocked(int thread)
    {
        if (thread < 0)
        {
            return false;
        }
        var stat = File.ReadAllText("/proc/self/task/" + thread + "/stat");
        return stat.Substring(stat.LastIndexOf(')') + 2, 1) == "S";
    }

    private static void EndTearsDown()
    {
        var session = Session.Start("demo-key", 1001, "127.0.0.1", apiPort);
        Library.End();
        session.Dispose();
        var error = Throws<CorvoException>(
            () => Session.Start("demo-key", 1001, "127.0.0.1", apiPort));
        Expect(error.Code == CorvoResult.TornDown, "code " + error.Code);
    }

    private static KeyValuePair<string, Action> Test(string name, Action body)
    {
        return new KeyValuePair<string, Action>(name, body);
    }

    private static void Expect(bool condition, string what)
    {
        if (!condition)
        {
            throw new Exception(what);
        }
    }

    private static T Throws<T>(Action call) where T : Exception
    {
        try
        {
            call();
        }
        catch (T expected)
        {
            return expected;
        }
        throw new Exception("no " + typeof(T).Name + " was thrown");
    }

    private static void Eventually(Func<bool> condition, string what)
    {
        var until = DateTime.UtcNow + Deadline;
        while (!condition())
        {
            Expect(DateTime.UtcNow < until, what + " not met within " + Deadline);
            Thread.Sleep(20);
        }
    }

    // A whole-number member of a flat JSON object, or -1 when it is absent or not a number.
    private static long Number(string json, string member)
    {
        var match = Regex.Match(json, "\"" + member + "\":(\\d+)");
        return match.Success ? long.Parse(match.Groups[1].Value) : -1;
    }
}
