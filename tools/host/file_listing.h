// The files action: runs the file exports and lists the files each one wrote.
#pragma once

#include <filesystem>
#include <string>

#include "library_loader.h"
#include "options.h"
#include "output.h"

namespace corvo::host {

// Where the library writes its files: its directory with the trailing "Libraries" replaced by
// "Files". Throws HostError, saying what is wrong, unless the library sits in a directory named
// Libraries with a directory Files beside it.
std::filesystem::path filesDirectoryFor(const std::filesystem::path& library);

// `set` is fundamental, iaa, volume or all; family c writes through corvo_export_files, the
// others through the ea_ file exports. The session must be running.
void runFileExports(const Library& library, const std::string& set, Family family,
                    const Output& output);

}  // namespace corvo::host
