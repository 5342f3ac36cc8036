// The objects that exist from load time, reached through one global pointer each, and the
// gate that keeps session starts and stops from overlapping. Created by static initialisation
// in the order the design needs; only cs_Deinitial destroys them.
#pragma once

#include <mutex>

#include "session/processor.h"

namespace corvo::exports {

// The Processor, or nullptr once the library has been torn down.
session::Processor* processor();

// The Processor while a session runs, else nullptr.
session::Processor* runningProcessor();

// Held by the session exports so starts and stops of the one session never interleave.
std::mutex& lifecycleMutex();

// Destroys the stream socket holder, the monitor and the Processor; later exports see none.
void tearDownLibrary();

}  // namespace corvo::exports
