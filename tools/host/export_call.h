// Calling one export and turning its false answer into ExportFailed, for both result styles.
#pragma once

#include <string>

#include "host_errors.h"
#include "text_buffers.h"

namespace corvo::host {

// An ea_ export writing into `buffer`: `call(out)` returns the export's answer.
template <class Call>
std::string wideAnswer(const char* exportName, WideBuffer& buffer, Call call) {
    if (!call(buffer.zeroed())) {
        throw ExportFailed(exportName);
    }
    return buffer.text();
}

// A cs_ export assigning to a std::string: `call(&text)` returns the export's answer.
template <class Call>
std::string narrowAnswer(const char* exportName, Call call) {
    std::string text;
    if (!call(&text)) {
        throw ExportFailed(exportName);
    }
    return text;
}

// An export with no text answer.
inline void require(const char* exportName, bool answer) {
    if (!answer) {
        throw ExportFailed(exportName);
    }
}

}  // namespace corvo::host
