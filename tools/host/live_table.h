// The terminal view of a watch: the stream's health, then one row per topic with its latest
// record, redrawn in place.
#pragma once

#include <cstddef>
#include <map>
#include <ostream>
#include <string>

#include "output.h"

namespace corvo::host {

class LiveTable {
  public:
    void update(const std::string& topic, const Json& record);
    // The stream's health, drawn above the rows.
    void setHealth(const std::string& line);
    // Redraws over the previous drawing, when anything changed since.
    void draw(std::ostream& out);
    // Leaves the last drawing in place and adds the summary line.
    void summarise(std::ostream& out, double seconds) const;

  private:
    struct Row {
        std::string latest;  // the record as one compact line
        std::size_t updates = 0;
    };

    std::map<std::string, Row> rows_;
    std::string health_;
    std::size_t updates_ = 0;
    std::size_t drawnLines_ = 0;
    bool changed_ = true;  // so the header shows before the first update
};

}  // namespace corvo::host
