// Where answers go: pretty and bounded for a person at a terminal, one JSON value per line for
// a program, so a pipe can parse every line the host prints.
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
    // An export's answer: pretty-printed JSON and truncated when long at a terminal; piped, the
    // text itself on one line when it is JSON, else the text as a JSON string.
    void answer(const std::string& text) const;
    // A note of the host's own: `text` at a terminal, `record` as a JSON line when piped.
    void note(const std::string& text, const Json& record) const;
    // One JSON line, whatever stdout is.
    void record(const Json& value) const;
    // One watch update as a JSON line: {"topic":...,"record":...}.
    void update(const std::string& topic, const Json& record) const;

  private:
    bool terminal_;
};

// Serialises without throwing on bytes that are not UTF-8 (the stream carries raw bytes).
std::string dumpJson(const Json& value, int indent = -1);

}  // namespace corvo::host
