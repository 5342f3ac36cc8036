/* A minimal host of the C interface: start, subscribe, one refresh, the status, stop, end.
 * Usage: consumer_host API_PORT | PORTS_FILE (corvo-sim's "api=N stream=M").
 * Exits 0 when every step succeeded. Builds for Linux and, with MinGW-w64, for Windows.
 * On Linux, CORVO_FORBID_MAPPED (file name prefixes separated by spaces, e.g. "libzmq.so")
 * also fails it when the process has a file of such a name mapped at the end. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "corvo.h"

static int failed(const char* step, corvo_result result) {
    fprintf(stderr, "consumer_host: %s: %s: %s\n", step, corvo_result_name(result),
            corvo_last_error());
    return 1;
}

#ifdef _WIN32
static double seconds_now(void) {
    return (double)GetTickCount64() / 1e3;
}
static void pause_briefly(void) {
    Sleep(20);
}
#else
static double seconds_now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}
static void pause_briefly(void) {
    struct timespec pause = {0, 20 * 1000 * 1000};
    nanosleep(&pause, NULL);
}
#endif

/* The API port: the argument itself, or read from a ports file. */
static int api_port(const char* argument) {
    int port = 0;
    FILE* file;
    if (strspn(argument, "0123456789") == strlen(argument)) {
        return atoi(argument);
    }
    file = fopen(argument, "r");
    if (file != NULL) {
        if (fscanf(file, "api=%d", &port) != 1) {
            port = 0;
        }
        fclose(file);
    }
    return port;
}

#ifndef _WIN32
/* Whether a file mapped into this process has a base name starting with one of the
 * space-separated prefixes; the first one found is reported. */
static int forbidden_mapped(const char* prefixes) {
    char line[4096];
    int found = 0;
    FILE* maps = fopen("/proc/self/maps", "r");
    if (maps == NULL) {
        fprintf(stderr, "consumer_host: /proc/self/maps cannot be read\n");
        return 1;
    }
    while (!found && fgets(line, sizeof line, maps) != NULL) {
        char const* slash = strrchr(line, '/');
        char const* prefix = prefixes;
        while (slash != NULL && !found && *prefix != '\0') {
            size_t const length = strcspn(prefix, " ");
            if (length > 0 && strncmp(slash + 1, prefix, length) == 0) {
                fprintf(stderr, "consumer_host: mapped: %s", line);
                found = 1;
            }
            prefix += length + strspn(prefix + length, " ");
        }
    }
    fclose(maps);
    return found;
}
#endif

/* Refreshes until an update arrives; the feed publishes continuously, so 15 s is ample. */
static corvo_result refresh_one(char* buffer) {
    double const deadline = seconds_now() + 15.0;
    corvo_result result;
    do {
        result = corvo_refresh(buffer, CORVO_REFRESH_CAPACITY, NULL);
        if (result != CORVO_NOTHING_PENDING) {
            return result;
        }
        pause_briefly();
    } while (seconds_now() < deadline);
    return result;
}

int main(int argc, char** argv) {
    static char buffer[CORVO_REFRESH_CAPACITY];
    char* text = NULL;
    size_t length = 0;
    corvo_result result;

    if (argc != 2 || api_port(argv[1]) <= 0) {
        fprintf(stderr, "usage: consumer_host API_PORT | PORTS_FILE\n");
        return 2;
    }
    if (strcmp(corvo_version(), CORVO_VERSION_TEXT) != 0) {
        fprintf(stderr, "consumer_host: library %s, header %s\n", corvo_version(),
                CORVO_VERSION_TEXT);
        return 1;
    }
    if ((result = corvo_start("demo-key", 1001, "127.0.0.1", api_port(argv[1]))) != CORVO_OK) {
        return failed("start", result);
    }
    if ((result = corvo_subscribe("AAA,AAB", &text, &length)) != CORVO_OK) {
        return failed("subscribe", result);
    }
    printf("snapshot: %lu bytes\n", (unsigned long)length);
    corvo_free(text);
    if ((result = refresh_one(buffer)) != CORVO_OK) {
        return failed("refresh", result);
    }
    printf("refresh: %.60s...\n", buffer);
    if ((result = corvo_status(&text, &length)) != CORVO_OK) {
        return failed("status", result);
    }
    printf("status: %s\n", text);
    if (strstr(text, "\"running\"") == NULL) {
        fprintf(stderr, "consumer_host: the status does not say running\n");
        return 1;
    }
    corvo_free(text);
    if ((result = corvo_stop()) != CORVO_OK) {
        return failed("stop", result);
    }
    if ((result = corvo_end()) != CORVO_OK) {
        return failed("end", result);
    }
    if (corvo_stop() != CORVO_TORN_DOWN) {
        fprintf(stderr, "consumer_host: a call after corvo_end was not refused\n");
        return 1;
    }
#ifndef _WIN32
    if (getenv("CORVO_FORBID_MAPPED") != NULL && forbidden_mapped(getenv("CORVO_FORBID_MAPPED"))) {
        return 1;
    }
#endif
    printf("consumer_host: every step succeeded\n");
    return 0;
}
