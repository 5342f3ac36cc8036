// The watch action: takes updates for a while and shows each as it arrives.
#pragma once

#include "library_loader.h"
#include "output.h"
#include "stream_calls.h"

namespace corvo::host {

enum class WatchEnd { elapsed, interrupted };

// Takes updates for `seconds`, or until Ctrl-C: family c waits for them in corvo_wait, the
// others poll every 100 ms. JSON lines when stdout is not a terminal, with a {"health":...}
// line each second and at the end; a live table headed by the stream's health and a rate
// summary, redrawn at most every 100 ms, when it is. The health comes from corvo_status in every
// family.
WatchEnd watch(StreamCalls& calls, const Exports& exports, const Output& output, double seconds);

}  // namespace corvo::host
