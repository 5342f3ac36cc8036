// Splits a refresh answer {"A_Corvo":<payload>,...} into its members. Payloads are whatever
// the stream carried, not always JSON, so the answer as a whole may not parse.
#pragma once

#include <string>
#include <vector>

#include "output.h"

namespace corvo::host {

struct RefreshMember {
    std::string topic;
    Json record;  // the payload parsed as JSON when it parses, else the payload as a string
};

// An answer that is not shaped as an object comes back as one member with an empty topic.
std::vector<RefreshMember> splitRefresh(const std::string& text);

}  // namespace corvo::host
