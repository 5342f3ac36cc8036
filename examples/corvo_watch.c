/* corvo_watch: a minimal C host of the sized interface. It starts a session, subscribes two
 * instruments, waits for a few updates and prints them, prints the stream's status, and stops.
 *
 *   corvo_watch API_HOST API_PORT [KEY LOGIN]     (defaults: demo-key 1001)
 *
 * Link it with the library; it includes nothing but corvo.h. */
#include <stdio.h>
#include <stdlib.h>

#include "corvo.h"

/* A host with an event loop of its own watches the library's handle beside its other
 * descriptors, instead of calling corvo_wait (on Windows the handle is an event HANDLE, for
 * WaitForMultipleObjects). It is readable while updates are pending; the library owns it, so
 * the host never reads or closes it, and a refresh that takes the last update clears it:
 *
 *     intptr_t handle;
 *     struct pollfd watched[2];
 *     corvo_event_handle(&handle);
 *     watched[0].fd = (int)handle;   watched[0].events = POLLIN;
 *     watched[1].fd = other_socket;  watched[1].events = POLLIN;
 *     for (;;) {
 *         poll(watched, 2, -1);
 *         if (watched[0].revents & POLLIN) {
 *             while (corvo_refresh(refresh, sizeof refresh, NULL) == CORVO_OK) {
 *                 handle_updates(refresh);
 *             }
 *         }
 *         if (watched[1].revents & POLLIN) {
 *             handle_other(other_socket);
 *         }
 *     }
 */

static int fail(const char* what, corvo_result result) {
    fprintf(stderr, "%s: %s (%s)\n", what, corvo_result_name(result), corvo_last_error());
    corvo_end();
    return 1;
}

int main(int argc, char** argv) {
    char refresh[CORVO_REFRESH_CAPACITY];
    char* snapshot = NULL;
    char* status = NULL;
    corvo_result result;
    int updates = 0;

    if (argc != 3 && argc != 5) {
        fprintf(stderr, "usage: %s API_HOST API_PORT [KEY LOGIN]\n", argv[0]);
        return 2;
    }
    printf("library %s\n", corvo_version());
    result = corvo_start(argc == 5 ? argv[3] : "demo-key", argc == 5 ? atoi(argv[4]) : 1001,
                         argv[1], atoi(argv[2]));
    if (result != CORVO_OK) {
        return fail("start", result);
    }
    result = corvo_subscribe("AAA,AAB", &snapshot, NULL);
    if (result != CORVO_OK) {
        return fail("subscribe", result);
    }
    printf("snapshot %s\n", snapshot);
    corvo_free(snapshot);

    /* Wait for a few updates, five seconds at most for each. */
    while (updates < 3) {
        result = corvo_wait(5000);
        if (result == CORVO_NOTHING_PENDING) {
            break;
        }
        if (result != CORVO_OK) {
            return fail("wait", result);
        }
        result = corvo_refresh(refresh, sizeof refresh, NULL);
        if (result != CORVO_OK) {
            return fail("refresh", result);
        }
        printf("update %s\n", refresh);
        ++updates;
    }
    if (corvo_status(&status, NULL) == CORVO_OK) {
        printf("status %s\n", status);
        corvo_free(status);
    }
    corvo_stop();
    corvo_end();
    return updates > 0 ? 0 : 1;
}
