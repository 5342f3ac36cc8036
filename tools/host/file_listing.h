// The files action: runs the file exports and lists the files each one wrote.
#pragma once

#include <filesystem>
#include <string>

#include "library_loader.h"
#include "output.h"

namespace corvo::host {

// Where the library writes its files: its directory with the trailing "Libraries" replaced by
// "Files". Throws HostError, saying so, when the library does not sit in a Libraries directory.
std::filesystem::path filesDirectoryFor(const std::filesystem::path& library);

// `set` is fundamental, iaa, volume or all. The session must be running.
void runFileExports(const Library& library, const std::string& set, const Output& output);

}  // namespace corvo::host
