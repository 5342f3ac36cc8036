// Windows lookups through overlapped GetAddrInfoExW: the system resolves on its own threads and
// signals an event, so a lookup can be waited for with a bound and cancelled.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "platform/abandoned_requests.h"
#include "platform/lookup_addresses.h"
#include "platform/name_lookup.h"

namespace corvo::platform {
namespace {

// One request as the system holds it: every field must stay put until it signals the event.
struct ExRequest {
    std::wstring host;
    ADDRINFOEXW hints{};
    PADDRINFOEXW result = nullptr;
    OVERLAPPED overlapped{};
    HANDLE cancel = nullptr;

    ExRequest() { overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ExRequest(const ExRequest&) = delete;
    ExRequest& operator=(const ExRequest&) = delete;
    ~ExRequest() {
        if (result != nullptr) {
            FreeAddrInfoExW(result);
        }
        if (overlapped.hEvent != nullptr) {
            CloseHandle(overlapped.hEvent);
        }
    }
    bool finished() const { return signalled(0); }
    bool signalled(DWORD waitMs) const {
        return WaitForSingleObject(overlapped.hEvent, waitMs) == WAIT_OBJECT_0;
    }
};

// GetAddrInfoExCancel is missing from some toolchains' headers and import libraries, so it is
// looked up at run time; without it an abandoned lookup simply runs to its end.
void cancelLookup(HANDLE* cancel) {
    using CancelFunction = INT(WSAAPI*)(LPHANDLE);
    HMODULE const winsock = GetModuleHandleW(L"ws2_32.dll");
    auto const function = winsock == nullptr
                              ? nullptr
                              : reinterpret_cast<CancelFunction>(reinterpret_cast<void*>(
                                    GetProcAddress(winsock, "GetAddrInfoExCancel")));
    if (function != nullptr) {
        function(cancel);
    }
}

class ExLookup final : public NameLookup {
  public:
    explicit ExLookup(const std::string& host) : request_(std::make_unique<ExRequest>()) {
        request_->host.assign(host.begin(), host.end());
        request_->hints.ai_family = AF_UNSPEC;
        request_->hints.ai_socktype = SOCK_STREAM;
        if (request_->overlapped.hEvent == nullptr) {
            status_ = static_cast<int>(GetLastError());
            return;
        }
        int const started = GetAddrInfoExW(request_->host.c_str(), nullptr, NS_ALL, nullptr,
                                           &request_->hints, &request_->result, nullptr,
                                           &request_->overlapped, nullptr, &request_->cancel);
        pending_ = started == WSA_IO_PENDING;
        status_ = pending_ ? 0 : started;
    }
    ExLookup(const ExLookup&) = delete;
    ExLookup& operator=(const ExLookup&) = delete;

    ~ExLookup() override {
        if (pending_ && !request_->signalled(0)) {
            cancelLookup(&request_->cancel);
            AbandonedRequests<ExRequest>::instance().keep(std::move(request_));
        }
    }

    bool waitUntil(std::chrono::steady_clock::time_point until) override {
        if (!pending_) {
            return true;
        }
        auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (!request_->signalled(static_cast<DWORD>(std::max<long long>(0, left.count())))) {
            return false;
        }
        pending_ = false;
        // What GetAddrInfoExOverlappedResult answers: the status the system left in Internal.
        status_ = static_cast<int>(request_->overlapped.Internal);
        return true;
    }

    LookupResult result() const override {
        if (status_ != 0) {
            return {{}, "name lookup failed: error " + std::to_string(status_)};
        }
        return addressesOf(request_->result);
    }

  private:
    std::unique_ptr<ExRequest> request_;
    bool pending_ = false;
    int status_ = 0;
};

}  // namespace

std::unique_ptr<NameLookup> startNameLookup(const std::string& host) {
    return std::make_unique<ExLookup>(host);
}

void settleAbandonedLookups() {
    AbandonedRequests<ExRequest>::instance().settle();
}

}  // namespace corvo::platform
