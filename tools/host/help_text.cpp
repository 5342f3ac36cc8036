// The --help text, kept apart from the parser so it reads as one page.
#include "options.h"

namespace corvo::host {
namespace {

constexpr const char* kHelp =
    R"(corvo-host: load libCorvoStreaming_DLL.so at run time and drive its exports.

usage: corvo-host --library PATH [--family c|cs|ea] [--key TEXT] [--login N]
                  [--server HOST] [--api-port PORT] [ACTION ...]

Options (also accepted as --name=VALUE):
  --library PATH    the library to load (required). The file exports write into the Files
                    directory beside the library's directory, so for "files" the library
                    must sit in a directory named Libraries with a directory Files beside
                    it, e.g. /opt/x/Libraries/ and /opt/x/Files/ (checked before a session
                    is started).
  --family c|cs|ea  which functions to call (default c): c is the C interface of corvo.h
                    (corvo_start, corvo_subscribe, corvo_refresh, corvo_query, ...), whose
                    failures carry a reason; cs_ takes narrow texts, ea_ takes UTF-16
                    texts and buffers, and where one of these two has no export of its
                    own for an action, the ea_ export is used.
  --key TEXT        the session key (default demo-key)
  --login N         the account number (default 1001); also the feedback account
  --server HOST     the host of the streaming and HTTP API servers (default 127.0.0.1)
  --api-port PORT   the HTTP API port (default 8080)
  --help, -h        print this text and exit

Actions run in order in one process. A session is started before the first action that
needs one and stopped at the end (family c: corvo_stop then corvo_end; family ea:
ea_Deinitial then cs_Deinitial; family cs: cs_Deinitial). With no action the library is
only loaded and its exports looked up.
  subscribe LIST    subscribe the comma-separated codes (e.g. PTT,AOT); print the snapshot
  unsubscribe CODE  unsubscribe one code
  watch SECONDS     take updates for SECONDS and print each record as it arrives
                    (family c waits for them in corvo_wait; cs and ea poll every
                    100 ms): one JSON line per update {"topic":...,"record":...} when
                    stdout is not a terminal, plus a {"health":{...}} line each second and
                    at the end (the status members and "messages_per_second"); in a
                    terminal, a live table headed by the stream's health (its endpoint,
                    connected or not, messages per second, the last message's age,
                    reconnects) and a rate summary. Ctrl-C ends the watch, stops the
                    session, ends the library and exits with status 130; the actions
                    after the watch do not run.
  refresh           poll once and print the records updated since the last poll
  symbol CODE       print one code's latest record (corvo_symbol_record; ea_Refresh_Symbol
                    in families cs and ea)
  top20             print the Top20 lists
  query NAME [ARG]  run one query and print its answer; NAME is one of
                      fundamental CODE   fundamental-all   iaa CODE   iaa-all
                      key-stats          volume CODE       feedback MESSAGE
                    (feedback sends MESSAGE with --login as the account and 0,0,0)
  files [SET]       run the file exports (corvo_export_files, or the ea_ file exports), SET
                    is fundamental, iaa, volume or all (default), then list the files
                    written in Files/fundamental, iaa and volume
  speed             run the speed benchmark and print its milliseconds (no session)
  test              call the test export, which answers 6 (no session)
  stop              stop the session now with corvo_stop (family c) or ea_Deinitial
                    (families cs and ea: cs_Deinitial would end the library for the
                    process); a later action starts a new one
  status            print the session's and the stream's health, the corvo_status JSON
                    ("state", "connected", "connects", "messages", "last_message_age_ms",
                    ...), in every family; it starts no session

Answers are pretty-printed when stdout is a terminal (very long ones truncated with a note
of the full length). When stdout is not a terminal every line is one JSON value: answers
as the library gave them (an answer that is not JSON as a JSON string), and the host's own
lines as objects: {"unsubscribed":...}, {"files":{"set","writer","directory","written",
"names"}}, {"speed":{...}}, {"test":6}, {"feedback":"sent"}, {"loaded":PATH}.

Exit status: 0 success; 1 the library is missing or fails to load, an export is missing,
the session does not start, a corvo_ call fails or an export answers false (a refresh with
nothing new is no failure); 2 unknown action or bad option; 130 Ctrl-C during a watch.
A failure is reported with the action it was about (e.g. "symbol ZZZ: ..."); a failed
corvo_ call with its result name and the library's reason. The cs_ and ea_ exports give no
reasons: set CORVO_TRACE=stderr before running to see the library's trace.
)";

}  // namespace

std::string helpText() {
    return kHelp;
}

}  // namespace corvo::host
