/* corvo_watch: a minimal C host of the sized interface. It starts a session, subscribes two
 * instruments, prints the updates of a few refreshes and the stream's status, and stops.
 *
 *   corvo_watch API_HOST API_PORT [KEY LOGIN]     (defaults: demo-key 1001)
 *
 * Link it with the library; it includes nothing but corvo.h. */
#include <stdio.h>
#include <stdlib.h>

#include "corvo.h"

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
    int polls;

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

    /* Poll until a few updates arrived (about five seconds at most). */
    for (polls = 0; polls < 500 && updates < 3; ++polls) {
        result = corvo_refresh(refresh, sizeof refresh, NULL);
        if (result == CORVO_OK) {
            printf("update %s\n", refresh);
            ++updates;
        } else if (result != CORVO_NOTHING_PENDING) {
            return fail("refresh", result);
        } else {
            corvo_calculate_speed(NULL, NULL); /* a portable pause of a few milliseconds */
        }
    }
    if (corvo_status(&status, NULL) == CORVO_OK) {
        printf("status %s\n", status);
        corvo_free(status);
    }
    corvo_stop();
    corvo_end();
    return updates > 0 ? 0 : 1;
}
