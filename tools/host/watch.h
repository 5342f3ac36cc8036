// The watch action: polls the refresh call for a while and shows each update as it arrives.
#pragma once

#include "library_loader.h"
#include "output.h"
#include "stream_calls.h"

namespace corvo::host {

enum class WatchEnd { elapsed, interrupted };

// Polls every 100 ms for `seconds`, or until Ctrl-C: JSON lines when stdout is not a terminal,
// with a {"health":...} line each second and at the end; a live table headed by the stream's
// health and a rate summary when it is. The health comes from corvo_status in every family.
WatchEnd watch(StreamCalls& calls, const Exports& exports, const Output& output, double seconds);

}  // namespace corvo::host
