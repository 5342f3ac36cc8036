// Where answers go: pretty and bounded for a person at a terminal, raw lines for a program.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace corvo::host {

// Ordered, so records keep the member order the stream gave them.
using Json = nlohmann::ordered_json;

class Output {
  public:
    Output();

    bool terminal() const { return terminal_; }
    // An export's answer: pretty-printed JSON and truncated when long at a terminal, raw else.
    void answer(const std::string& text) const;
    // A plain line of the host's own.
    void line(const std::string& text) const;
    // One watch update as a JSON line: {"topic":...,"record":...}.
    void update(const std::string& topic, const Json& record) const;

  private:
    bool terminal_;
};

// Serialises without throwing on bytes that are not UTF-8 (the stream carries raw bytes).
std::string dumpJson(const Json& value, int indent = -1);

}  // namespace corvo::host
