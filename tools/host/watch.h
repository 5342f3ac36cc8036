// The watch action: polls the refresh export for a while and shows each update as it arrives.
#pragma once

#include "output.h"
#include "stream_calls.h"

namespace corvo::host {

// Polls every 100 ms for `seconds` (Ctrl-C ends it early): JSON lines when stdout is not a
// terminal, a live table and a rate summary when it is.
void watch(StreamCalls& calls, const Output& output, double seconds);

}  // namespace corvo::host
