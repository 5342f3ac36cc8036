// Lookup requests given up while the system resolver still held them. A watcher thread, alive
// only while requests are held, frees each once the resolver lets go of it; any still held when
// the library goes are left to the resolver, whose own threads may yet write them. `Request`
// answers `finished()`. Thread safe.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvo::platform {

template <class Request>
class AbandonedRequests {
  public:
    AbandonedRequests() = default;
    AbandonedRequests(const AbandonedRequests&) = delete;
    AbandonedRequests& operator=(const AbandonedRequests&) = delete;
    ~AbandonedRequests() {
        settle();
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& request : held_) {
            (void)request.release();
        }
    }

    static AbandonedRequests& instance() {
        static AbandonedRequests requests;
        return requests;
    }

    void keep(std::unique_ptr<Request> request) {
        std::lock_guard<std::mutex> control(control_);
        bool start = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            held_.push_back(std::move(request));
            start = !watching_;
            watching_ = true;
            quit_ = false;
        }
        if (start) {
            // A watcher that has ended its loop by itself is only left to return.
            if (watcher_.joinable()) {
                watcher_.join();
            }
            watcher_ = std::thread([this] { watch(); });
        }
    }

    // Frees what has finished and ends the watcher. Never waits for the resolver: requests
    // still held stay held until a later keep watches them again.
    void settle() {
        std::lock_guard<std::mutex> control(control_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            freeFinished();
            quit_ = true;
        }
        wake_.notify_all();
        if (watcher_.joinable()) {
            watcher_.join();
        }
    }

    bool watching() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return watching_;
    }

  private:
    static constexpr std::chrono::milliseconds kLookInterval{30};

    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_ && !held_.empty()) {
            wake_.wait_for(lock, kLookInterval, [this] { return quit_; });
            freeFinished();
        }
        watching_ = false;
    }

    void freeFinished() {
        held_.erase(std::remove_if(held_.begin(), held_.end(),
                                   [](const auto& request) { return request->finished(); }),
                    held_.end());
    }

    // Serialises starting and ending the watcher, so a join never holds `mutex_`.
    std::mutex control_;
    std::thread watcher_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::unique_ptr<Request>> held_;
    bool watching_ = false;
    bool quit_ = false;
};

}  // namespace corvo::platform
