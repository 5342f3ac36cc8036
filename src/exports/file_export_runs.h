// One run of a file export: fetch the answer for every instrument and write one file each.
// Shared by the ea_ file exports and the C interface. Runs that write one directory go one
// after another.
#pragma once

#include "session/processor.h"

namespace corvo::exports {

enum class FileKind { fundamental, iaa, volume };

// Writes below `base`/<kind's directory>, or below the Files directory beside the library's
// Libraries directory when `base` is null, creating it when missing. The whole answer is
// fetched and checked first: a failed exchange, an answer that is not JSON or not of the
// kind's shape, or an unusable directory answers the failure and touches no file.
// `errorStatus` says how a reply with an error status is taken.
api::Outcome<api::Done> runFileExport(session::Processor& session, FileKind kind, const char* base,
                                      api::ErrorStatus errorStatus);

}  // namespace corvo::exports
