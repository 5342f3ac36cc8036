// One run of a file export: fetch the answer for every instrument and write one file each.
// Shared by the ea_ file exports and the C interface. Runs of one kind go one after another,
// since they share their directory.
#pragma once

#include "session/processor.h"

namespace corvo::exports {

enum class FileKind { fundamental, iaa, volume };

// Writes below `base`/<kind's directory>, or below the Files directory beside the library's
// Libraries directory when `base` is null. False when no output directory could be found or
// the answer's elements could not be written; an answer that is not JSON writes nothing and
// still answers true. Throws when the library's directory is too short to hold Libraries.
bool runFileExport(session::Processor& session, FileKind kind, const char* base);

}  // namespace corvo::exports
