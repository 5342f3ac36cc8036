// The streaming exports of the chosen family: subscriptions, refreshes, one record, Top20.
#pragma once

#include <optional>
#include <string>

#include "library_loader.h"
#include "options.h"
#include "text_buffers.h"

namespace corvo::host {

class StreamCalls {
  public:
    StreamCalls(const Exports& exports, Family family) : exports_(exports), family_(family) {}

    std::string subscribe(const std::string& codes);
    void unsubscribe(const std::string& code);
    // The records updated since the last poll; nothing when the export answers false.
    std::optional<std::string> refresh();
    // ea_Refresh_Symbol in both families: there is no cs_ version.
    std::string symbol(const std::string& code);
    std::string top20();

  private:
    const Exports& exports_;
    Family family_;
    WideBuffer answerBuffer_{kQueryUnits};
    WideBuffer refreshBuffer_{kRefreshUnits};
};

}  // namespace corvo::host
