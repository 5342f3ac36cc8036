// The streaming calls of the chosen family: subscriptions, refreshes, one record, Top20.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "library_loader.h"
#include "options.h"
#include "text_buffers.h"

namespace corvo::host {

class StreamCalls {
  public:
    StreamCalls(const Exports& exports, Family family) : exports_(exports), family_(family) {}

    std::string subscribe(const std::string& codes);
    void unsubscribe(const std::string& code);
    // The records updated since the last poll; nothing when the export answers false or
    // corvo_refresh has nothing pending (its other failures throw CallFailed).
    std::optional<std::string> refresh();
    // Returns at `until` or, in family c, as soon as updates are pending (corvo_wait). The
    // other families cannot wait for updates: they sleep until then and poll.
    void waitForUpdates(std::chrono::steady_clock::time_point until);
    // corvo_symbol_record, else ea_Refresh_Symbol: there is no cs_ version.
    std::string symbol(const std::string& code);
    std::string top20();

  private:
    std::optional<std::string> refreshC();

    const Exports& exports_;
    Family family_;
    WideBuffer answerBuffer_{kQueryUnits};
    WideBuffer refreshBuffer_{kRefreshUnits};
    std::vector<char> cBuffer_;  // allocated at first use
};

}  // namespace corvo::host
