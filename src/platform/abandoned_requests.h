// Lookup requests given up while the system resolver still held them. Each is freed once the
// resolver lets go of it; any still held when the library goes are left to the resolver, whose
// own threads may yet write them. `Request` answers `finished()`.
#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace corvo::platform {

template <class Request>
class AbandonedRequests {
  public:
    AbandonedRequests() = default;
    AbandonedRequests(const AbandonedRequests&) = delete;
    AbandonedRequests& operator=(const AbandonedRequests&) = delete;
    ~AbandonedRequests() {
        std::lock_guard<std::mutex> lock(mutex_);
        freeFinished();
        for (auto& request : held_) {
            (void)request.release();
        }
    }

    static AbandonedRequests& instance() {
        static AbandonedRequests requests;
        return requests;
    }

    void keep(std::unique_ptr<Request> request) {
        std::lock_guard<std::mutex> lock(mutex_);
        freeFinished();
        held_.push_back(std::move(request));
    }

  private:
    void freeFinished() {
        held_.erase(std::remove_if(held_.begin(), held_.end(),
                                   [](const auto& request) { return request->finished(); }),
                    held_.end());
    }

    std::mutex mutex_;
    std::vector<std::unique_ptr<Request>> held_;
};

}  // namespace corvo::platform
