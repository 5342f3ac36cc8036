// The peers' reading of the library's request payloads: their own decryption (from the wire
// protocol) and the split of a plaintext into its "|" fields. Stateless; safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "peer/wire_protocol.h"

namespace corvo::testing {

using peer::decryptPayload;

// Splits at every '|', keeping empty fields: "a||b|" gives {"a", "", "b", ""}.
std::vector<std::string> splitBars(const std::string& plaintext);

}  // namespace corvo::testing
