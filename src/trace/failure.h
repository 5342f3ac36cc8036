// Why the calling thread's last operation failed: the layer that meets a failure notes one
// readable line (which exchange, against which address, how), the C interface hands it to the
// host. Per thread, so concurrent calls never mix their reasons. Never holds a secret.
#pragma once

#include <string_view>

namespace corvo::failure {

// Forgets the thread's noted failure; each call into the library starts with this.
void clear();

// Notes `reason` as the thread's failure and traces it.
void note(std::string_view reason);

// True when something was noted since the last clear.
bool noted();

// The last reason noted on this thread ("" when none), zero-terminated. Stays valid on this
// thread until its next note.
const char* reason();

}  // namespace corvo::failure
