// POSIX lookups through glibc's getaddrinfo_a: the resolver's helper threads belong to the C
// library and notify nobody (SIGEV_NONE), so a lookup can be waited for with a bound.
#include <arpa/inet.h>
#include <netdb.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/abandoned_requests.h"
#include "platform/lookup_addresses.h"
#include "platform/name_lookup.h"

namespace corvo::platform {
namespace {

// One request as glibc holds it: every field must stay put until the resolver is done.
struct GaiRequest {
    std::string host;
    addrinfo hints{};
    gaicb block{};

    ~GaiRequest() {
        if (block.ar_result != nullptr) {
            freeaddrinfo(block.ar_result);
        }
    }
    bool inProgress() { return gai_error(&block) == EAI_INPROGRESS; }
    bool finished() { return !inProgress(); }
};

class GaiLookup final : public NameLookup {
  public:
    explicit GaiLookup(const std::string& host) : request_(std::make_unique<GaiRequest>()) {
        request_->host = host;
        request_->hints.ai_family = AF_UNSPEC;
        request_->hints.ai_socktype = SOCK_STREAM;
        request_->block.ar_name = request_->host.c_str();
        request_->block.ar_request = &request_->hints;
        gaicb* list[] = {&request_->block};
        startError_ = getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr);
    }
    GaiLookup(const GaiLookup&) = delete;
    GaiLookup& operator=(const GaiLookup&) = delete;

    ~GaiLookup() override {
        if (startError_ == 0 && request_->inProgress() &&
            gai_cancel(&request_->block) == EAI_NOTCANCELED) {
            AbandonedRequests<GaiRequest>::instance().keep(std::move(request_));
        }
    }

    bool waitUntil(std::chrono::steady_clock::time_point until) override {
        if (startError_ != 0) {
            return true;
        }
        while (request_->inProgress()) {
            auto const left = until - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) {
                return false;
            }
            auto const seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
            timespec const timeout{static_cast<time_t>(seconds.count()),
                                   static_cast<long>((left - seconds).count())};
            const gaicb* list[] = {&request_->block};
            // Ends early for the request, a time-out or a signal; the loop looks again.
            (void)gai_suspend(list, 1, &timeout);
        }
        return true;
    }

    LookupResult result() const override {
        int const status = startError_ != 0 ? startError_ : gai_error(&request_->block);
        if (status != 0) {
            return {{}, std::string("name lookup failed: ") + gai_strerror(status)};
        }
        return addressesOf(request_->block.ar_result);
    }

  private:
    std::unique_ptr<GaiRequest> request_;
    int startError_ = 0;
};

// ThreadSanitizer cannot follow the helper threads that glibc starts inside getaddrinfo_a and
// crashes on them, so builds under it look names up with getaddrinfo on a thread of their own,
// which an abandoned lookup leaves to finish. Only those test builds use it.
class ThreadLookup final : public NameLookup {
  public:
    explicit ThreadLookup(const std::string& host) : shared_(std::make_shared<Shared>()) {
        std::thread([shared = shared_, host] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* list = nullptr;
            int const status = getaddrinfo(host.c_str(), nullptr, &hints, &list);
            LookupResult found =
                status != 0
                    ? LookupResult{{}, std::string("name lookup failed: ") + gai_strerror(status)}
                    : addressesOf(list);
            if (list != nullptr) {
                freeaddrinfo(list);
            }
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->result = std::move(found);
            shared->done = true;
            shared->ended.notify_all();
        }).detach();
    }

    bool waitUntil(std::chrono::steady_clock::time_point until) override {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        return shared_->ended.wait_until(lock, until, [&] { return shared_->done; });
    }

    LookupResult result() const override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return shared_->result;
    }

  private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        LookupResult result;
    };
    std::shared_ptr<Shared> shared_;
};

}  // namespace

std::unique_ptr<NameLookup> startNameLookup(const std::string& host) {
#if defined(__SANITIZE_THREAD__)
    return std::make_unique<ThreadLookup>(host);
#else
    return std::make_unique<GaiLookup>(host);
#endif
}

void settleAbandonedLookups() {
    AbandonedRequests<GaiRequest>::instance().settle();
}

}  // namespace corvo::platform
