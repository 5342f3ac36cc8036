// The queries: corvo_query for family c; else the cs_ export where the family has it, else
// the ea_ one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "library_loader.h"
#include "options.h"
#include "text_buffers.h"

namespace corvo::host {

class QueryCalls {
  public:
    QueryCalls(const Exports& exports, Family family, std::int32_t login)
        : exports_(exports), family_(family), login_(login) {}

    // Runs query `name` (as the command line spells it); feedback has no text answer.
    std::optional<std::string> run(const std::string& name, const std::string& argument);

  private:
    std::optional<std::string> runC(const std::string& name, const std::string& argument);
    std::string fundamental(const std::string& code);
    std::string fundamentalAll();
    // An ea_ query taking one code.
    template <class Export>
    std::string byCode(const char* exportName, Export query, const std::string& code);
    // An ea_ query taking no argument.
    template <class Export>
    std::string plain(const char* exportName, Export query);

    const Exports& exports_;
    Family family_;
    std::int32_t login_;
    WideBuffer buffer_{kQueryUnits};
};

}  // namespace corvo::host
