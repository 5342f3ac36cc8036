/* corvo.h: the sized C interface of the CorvoStreaming_DLL market-data library.
 *
 * Plain C (C89 with stdint.h and stddef.h), callable from any language that can call C.
 * Rules that hold for every function:
 * - texts in and out are bytes (UTF-8 where the data is text); results are zero-terminated;
 * - the library never writes past the capacity the caller passes; a result that does not fit
 *   consumes nothing (a refresh takes nothing from the pending topics) and reports the size
 *   it needs, terminating zero included;
 * - results whose size cannot be known in advance (query replies, snapshots, the status) are
 *   handed back in memory the library allocates: release each with corvo_free;
 * - every function returns a corvo_result; none throws or crashes on null pointers, in any
 *   session state, or after corvo_end; corvo_last_error() tells why the calling thread's last
 *   failed call failed;
 * - every function may be called from any thread. */
#ifndef CORVO_H
#define CORVO_H

#include <stddef.h>
#include <stdint.h>

#include "corvo_version.h"

#ifdef __cplusplus
#define CORVO_C_EXTERN extern "C"
#else
#define CORVO_C_EXTERN
#endif

#if defined(_WIN32)
#if defined(CORVO_BUILDING_LIBRARY)
#define CORVO_C_API CORVO_C_EXTERN __declspec(dllexport)
#else
#define CORVO_C_API CORVO_C_EXTERN __declspec(dllimport)
#endif
#else
#define CORVO_C_API CORVO_C_EXTERN __attribute__((visibility("default")))
#endif

/* What every function returns. New codes may be added; existing values never change. */
typedef int32_t corvo_result;
/* A failed exchange: the API could not be reached or answered an error status other than
 * 4xx, or an answer the call cannot use. A refusal: the API answered 4xx, a feedback was
 * answered 0, the stream refused a filter, or an unsubscribed symbol was named. */
#define CORVO_OK 0
#define CORVO_NOT_RUNNING 1      /* no session runs */
#define CORVO_BAD_ARGUMENT 2     /* a null pointer, a zero capacity or an unusable value */
#define CORVO_BUFFER_TOO_SMALL 3 /* nothing was consumed; *needed holds the size required */
#define CORVO_EXCHANGE_FAILED 4  /* the exchange with the API failed (see above) */
#define CORVO_NOTHING_PENDING 5  /* no update arrived since the last refresh */
#define CORVO_TORN_DOWN 6        /* corvo_end (or cs_Deinitial) has ended the library */
#define CORVO_START_FAILED 7     /* the session could not be started */
#define CORVO_REFUSED 8          /* the API or the stream said no (see above) */
#define CORVO_NOT_FOUND 9        /* no record, Top20 text or snapshot is there */
#define CORVO_NO_MEMORY 10
#define CORVO_INTERNAL 11        /* anything else; corvo_last_error() says what */
#define CORVO_ALREADY_RUNNING 12 /* corvo_start while a session runs; it runs on unchanged */
#define CORVO_BUSY 13            /* corvo_end: calls are still inside the library; do not unload */

/* The query services. */
typedef int32_t corvo_query_kind;
#define CORVO_QUERY_FUNDAMENTAL 1               /* one instrument's fundamental data */
#define CORVO_QUERY_FUNDAMENTAL_ALL_LAST_YEAR 2 /* every instrument's, last year (no symbol) */
#define CORVO_QUERY_IAA 3                       /* one instrument's IAA data */
#define CORVO_QUERY_IAA_ALL_SYMBOLS 4           /* every instrument's IAA data (no symbol) */
#define CORVO_QUERY_KEY_MARKET_STATISTICS 5     /* key market statistics (no symbol) */
#define CORVO_QUERY_VOLUME 6                    /* one instrument's volume data */

/* The file exports: one file per instrument in a sub-directory of their own. */
typedef int32_t corvo_file_kind;
#define CORVO_FILES_FUNDAMENTAL 1 /* "fundamental/CODE.txt", one line appended per call */
#define CORVO_FILES_IAA 2         /* "iaa/CODE.json", replaced */
#define CORVO_FILES_VOLUME 3      /* "volume/CODE.json", replaced */

/* A refresh result never exceeds this many bytes, terminating zero included. */
#define CORVO_REFRESH_CAPACITY 10001

/* The library's version text, for example "1.1.0"; compare with CORVO_VERSION_TEXT. */
CORVO_C_API const char* corvo_version(void);

/* Why the calling thread's last failed call failed, as one readable line ("" when none
 * failed yet). Valid until the thread's next call into the library. Never holds a secret. */
CORVO_C_API const char* corvo_last_error(void);

/* A fixed name for each result code ("buffer too small"). */
CORVO_C_API const char* corvo_result_name(corvo_result result);

/* Releases memory handed out by the library; null is fine. */
CORVO_C_API void corvo_free(void* memory);

/* Starts a session: the API at api_host:api_port announces the account, its balancer names
 * the stream port on api_host (an IPv6 address such as "::1" is fine). Returns once the stream
 * is connected; every exchange and wait of the start shares one bound of about 15 s.
 * CORVO_ALREADY_RUNNING when a session runs, CORVO_TORN_DOWN when corvo_end came first or
 * raced it, CORVO_START_FAILED with the reason otherwise. */
CORVO_C_API corvo_result corvo_start(const char* key, int32_t login, const char* api_host,
                                     int32_t api_port);

/* Stops the session; another may be started. When it returns, no library thread runs. */
CORVO_C_API corvo_result corvo_stop(void);

/* Ends the library for good: stops the session, cancels exchanges in flight, waits for calls
 * still inside it, then every call answers CORVO_TORN_DOWN. Call it before unloading the
 * library. CORVO_OK: the objects are gone and no library thread runs. A corvo_end called while
 * another runs waits for it and answers the same. CORVO_BUSY: calls did not leave within the
 * bound; do not unload yet: the end completes when the last of them leaves, or call corvo_end
 * again. CORVO_TORN_DOWN: an earlier end had completed. */
CORVO_C_API corvo_result corvo_end(void);

/* Subscribes the instruments of a comma-separated list ("" for every topic) and hands back
 * their snapshot, a JSON object of the members that arrived, in *snapshot (release with
 * corvo_free); *length, if not null, receives its length. CORVO_NOT_FOUND, naming them, when
 * no listed instrument has a snapshot (the filters stay in force). */
CORVO_C_API corvo_result corvo_subscribe(const char* symbols, char** snapshot, size_t* length);

CORVO_C_API corvo_result corvo_unsubscribe(const char* symbol);

/* The records updated since the last refresh, as one JSON object, into buffer. A buffer of
 * CORVO_REFRESH_CAPACITY bytes always suffices; with less, a result that does not fit leaves
 * everything pending and sets *needed (if not null). */
CORVO_C_API corvo_result corvo_refresh(char* buffer, size_t capacity, size_t* needed);

/* Waits until updates are pending or timeout_ms passes (0: do not wait; negative: no limit).
 * CORVO_OK when updates are pending (at once if some already are), CORVO_NOTHING_PENDING at
 * the timeout, CORVO_NOT_RUNNING when no session runs or the session stops while waiting,
 * CORVO_TORN_DOWN after corvo_end. Any number of threads may wait. "Pending" means what a
 * refresh would return now. Updates are announced once per batch of messages the stream
 * delivers together (at most 64), so a busy stream wakes a waiter once per batch, not once
 * per message. */
CORVO_C_API corvo_result corvo_wait(int32_t timeout_ms);

/* A handle for the host's own event loop: on Linux a file descriptor that is readable while
 * updates are pending, on Windows an event HANDLE that is signalled while updates are
 * pending. The same handle from the first call until corvo_end, across sessions; the library
 * owns it (do not close it, read it or reset it). A refresh that takes the last pending topic
 * clears it, and so does a stop. */
CORVO_C_API corvo_result corvo_event_handle(intptr_t* handle);

/* The latest record of one instrument, as a JSON object of one member; pending updates are
 * left as they are. */
CORVO_C_API corvo_result corvo_symbol_record(const char* symbol, char** record, size_t* length);

/* The latest Top20 ranking text. */
CORVO_C_API corvo_result corvo_top20(char** text, size_t* length);

/* One query; symbol is required by the kinds that name one instrument, ignored otherwise. The
 * server's reply (JSON) is handed back in *reply. An HTTP status outside 2xx is a failure:
 * CORVO_REFUSED for 4xx, CORVO_EXCHANGE_FAILED otherwise. */
CORVO_C_API corvo_result corvo_query(corvo_query_kind kind, const char* symbol, char** reply,
                                     size_t* length);

/* Sends a feedback record; '|' characters are removed from the message. */
CORVO_C_API corvo_result corvo_feedback(int32_t account, int32_t second, int32_t third,
                                        int32_t fourth, const char* message);

/* Fetches one kind of data for every instrument and writes one file each below directory
 * (null: the "Files" directory beside the library's "Libraries" directory), created with its
 * parents when missing. The whole answer is checked first: on any failure every existing file
 * stays as it was. Files are renamed into place whole. */
CORVO_C_API corvo_result corvo_export_files(corvo_file_kind kind, const char* directory);

/* The session and the stream's health as a JSON object in *json: "state" ("never started",
 * "starting", "running", "stopping", "stopped", "torn down"), "endpoint", "connected",
 * "connects", "disconnects", "moves" (times the stream was followed to
 * the endpoint the balancer named after it had been lost for a few seconds), "messages", "bytes"
 * (the topic and payload frames of every message filed, Top20 included), "dropped",
 * "last_message_age_ms" (null before the first), "topics", "pending", "subscriptions",
 * "top20_age_ms" (null before the first). Reading it never holds up the stream. */
CORVO_C_API corvo_result corvo_status(char** json, size_t* length);

/* The diagnostics: a fixed processor benchmark (milliseconds; sums into the non-null
 * outputs) and a call that answers 6. */
CORVO_C_API uint32_t corvo_calculate_speed(uint32_t* sum_int, double* sum_real);
CORVO_C_API int32_t corvo_test(void);

#endif
