// The numeric addresses of a resolver's result list, shared by both platforms' lookups. `Entry`
// is addrinfo or ADDRINFOEXW, which agree on the fields read here; the including file has its
// platform's socket headers.
#pragma once

#include <string>

#include "platform/name_lookup.h"

namespace corvo::platform {

template <class Entry>
LookupResult addressesOf(const Entry* first) {
    LookupResult found;
    // Some headers declare ai_next with a differently spelt tag of the same structure.
    for (const Entry* entry = first; entry != nullptr;
         entry = reinterpret_cast<const Entry*>(entry->ai_next)) {
        const void* address = nullptr;
        if (entry->ai_family == AF_INET) {
            address = &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
        } else if (entry->ai_family == AF_INET6) {
            address = &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr;
        }
        char text[INET6_ADDRSTRLEN] = {};
        if (address != nullptr && inet_ntop(entry->ai_family, address, text, sizeof text)) {
            found.addresses.emplace_back(text);
        }
    }
    if (found.addresses.empty()) {
        found.error = "name lookup found no address";
    }
    return found;
}

}  // namespace corvo::platform
