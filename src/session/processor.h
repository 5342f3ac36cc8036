// Processor: the one session object. It holds the credentials, the streaming endpoint, the
// session flags, the subscription list and the market-data store with their two gates, and its
// two virtual operations are the bodies of the session threads.
//
// Three kinds of thread use it:
// - host threads, inside the library's scope: start and stop (one at a time, under the
//   library's lifecycle), subscriptions, queries, refreshes and the status;
// - the monitor thread (runMonitor): the stream socket until the subscriber takes it, the
//   connection events, the Top20 snapshot; it starts and joins the subscriber;
// - the subscriber thread (runSubscriber): the stream socket, and filing into the store.
// The store and the subscription list are shared by all three under their gates; the session
// flags are atomics that only the named operations below change.
#pragma once

#include <zmq.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "api/api_client.h"
#include "api/reply_reading.h"
#include "session/connect_monitor.h"
#include "session/gate.h"
#include "session/refresh_assembly.h"
#include "session/session_servers.h"
#include "session/stream_commands.h"
#include "session/stream_health.h"
#include "session/stream_move.h"
#include "session/update_signal.h"

namespace corvo::session {

// What a session start needs.
struct StartPlan {
    std::string key;
    std::int32_t login = 0;
    SessionServers servers;
    api::ErrorStatus errorStatus = api::ErrorStatus::asReply;  // how the start reads replies
    api::ApiClient::Clock::time_point until;                   // every exchange ends by then
    std::uint64_t stopRequests = 0;  // the host's stop requests when the start began
    // Without the legacy start's fixed pauses; the start then waits for the stream to be ready
    // (see streamReady).
    bool quick = false;
};

// What a subscription came to.
struct Subscription {
    bool filtered = true;              // false: the stream refused a filter, and nothing followed
    bool stopped = false;              // no session ran, or it stopped between instruments
    std::string snapshot;              // a JSON object of the snapshot members that arrived
    std::vector<std::string> missing;  // codes whose snapshot did not arrive
    std::optional<api::Failure> failure;  // the first snapshot exchange that failed
};

class Processor final {
  public:
    Processor(api::ApiClient& apiClient, zmq::socket_t& streamSocket,
              connect_monitor_c& streamMonitor);
    Processor(const Processor&) = delete;
    Processor& operator=(const Processor&) = delete;
    ~Processor();

    // Session thread bodies.
    virtual void runMonitor();
    virtual void runSubscriber();

    // Session start and stop, on the caller's thread.
    api::Outcome<api::Done> Initialize(StartPlan plan);
    std::int32_t Deinitialize();
    // Starts the monitor thread, which starts the subscriber. False when no thread could be
    // made, or when a stop was asked for since the host's stop count was `stopRequestsAtStart`:
    // a stop (or the library's end) that came first is never undone by raising the flags again.
    bool startSessionThreads(std::uint64_t stopRequestsAtStart);
    // Clears the flags the session threads watch and wakes them.
    void requestStop();
    // A host's stop, asked before it waits for anything: counted, so a start in progress gives
    // up, and the session's exchanges in flight are cancelled. Answers whether a session ran;
    // of concurrent stops exactly one answers true.
    bool requestSessionStop();
    std::uint64_t stopRequests() const { return stopRequests_.load(); }
    // True while the subscriber is connected and no stop was asked for.
    bool isRunning() const { return running_; }
    // In a quick start: true once the stream's secure handshake has succeeded and the Top20
    // filter is set.
    bool streamReady() const { return streamReady_; }
    // The start's progress: a count that changes whenever the session runs, is ready, stops or
    // its threads end. Waits until it differs from `seen` or `until` passes.
    std::uint64_t startProgress();
    void waitForStartProgress(std::uint64_t seen, api::ApiClient::Clock::time_point until);
    // True once neither session thread does anything more (they may still be returning).
    bool sessionThreadsEnded() const { return !monitorAlive_ && !subscriberAlive_; }
    // Stops the session and returns once its threads are joined and the logger's flush worker
    // has stopped: no thread of the session is left running library code.
    void endSession();

    // Subscriptions. The filters and lists are serialised by the subscription gate; snapshots
    // are fetched outside it, and a stop ends a subscription between instruments.
    Subscription addSymbol(std::string symbols, bool ea, api::ErrorStatus errorStatus);
    bool removeSymbol(std::string symbol);
    std::vector<std::string> subscribedSnapshot();

    // API calls. Each answers the server's reply whatever its status, or the failed exchange
    // with its reason; `until` bounds the exchange beyond its own deadline.
    using Clock = api::ApiClient::Clock;
    api::PostOutcome authen(std::int32_t account,
                            Clock::time_point until = Clock::time_point::max());
    api::PostOutcome getZMQPort(Clock::time_point until = Clock::time_point::max());
    api::PostOutcome feedback(std::int32_t account, std::int32_t second, std::int32_t third,
                              std::int32_t fourth, std::string message);
    api::PostOutcome getFundaAllSym();
    api::PostOutcome getFundaSingleSym(std::string symbol);
    api::PostOutcome getIAA(std::string symbol);
    api::PostOutcome getIAAAllSymbols();
    api::PostOutcome getKeyMarketStatisticsPerformance();
    api::PostOutcome getVolume(std::string symbol);
    api::PostOutcome getVolumeAllSymbols();
    api::PostOutcome getSymbolDatas(std::string symbols, bool ea);
    api::PostOutcome getTop20Datas();

    // The market-data store, guarded by the store gate.
    // Files `record` ("topic":payload) as the latest of `topic`; `record` gets back storage to
    // reuse. Filing leaves the update signal as it is: the subscriber announces what it filed
    // once per batch, so a host that waits is woken once per batch rather than once per
    // message. Answers whether an announcement is owed (the signal is not raised).
    bool fileRecord(std::string_view topic, std::string& record);
    // Raises the update signal if records filed since it was last lowered still wait.
    void announceFiled();
    // Stamps a message's arrival before it is filed, outside the store gate.
    void stampMessageArrival();
    // A streamed ranking, from a message of `messageBytes` topic and payload bytes.
    void storeTop20(std::string_view text, std::size_t messageBytes);
    std::uint64_t top20StreamCount();
    // The HTTP snapshot, unless a streamed ranking arrived since `streamCountBefore`.
    void storeTop20Snapshot(std::string_view text, std::uint64_t streamCountBefore);
    RefreshResult takeRefresh(RefreshFamily family);
    // A cs refresh whose text, with a terminating zero, must fit `capacity` bytes; when it does
    // not, nothing is taken and `fits` is false.
    struct SizedRefresh {
        RefreshResult result;
        bool fits = true;
    };
    SizedRefresh takeRefreshWithin(std::size_t capacity);
    // A counted message that was not filed (a single frame).
    void noteDropped() { health_.dropped.fetch_add(1, std::memory_order_relaxed); }
    const StreamHealth& health() const { return health_; }
    const connect_monitor_c& streamMonitor() const { return streamMonitor_; }
    // Waits until a refresh would return something (see UpdateSignal); a stop interrupts it.
    UpdateSignal::Wake waitForUpdates(std::optional<std::chrono::milliseconds> timeout);
    // The handle that is set while updates are pending; the same for the Processor's life.
    std::intptr_t updateHandle() { return updates_.handle(); }
    std::string takeSymbolRecord(const std::string& topic);
    std::string top20();
    std::vector<std::string> pendingTopics();
    std::string recordOf(const std::string& topic);

    std::string endpoint() const;

  private:
    // Tests and benchmarks drive the engine without a full start through this seam alone
    // (tests/common/processor_seam.h); hosts only ever reach Initialize.
    friend struct ProcessorSeam;
    // Session data written by Initialize.
    void setUserKey(std::string key);
    void setStreamEndpoint(std::string endpoint);

    std::string requestPlaintext(const std::string* field) const;
    api::PostOutcome postDataRequest(const char* target, const std::string* field,
                                     Clock::time_point until = Clock::time_point::max());
    void pauseUnlessStopped(std::chrono::milliseconds pause) const;
    // Sets the Top20 filter; answers the streamed rankings counted before, for the snapshot.
    std::uint64_t subscribeTop20();
    void fetchTop20Snapshot(std::uint64_t streamedBefore);
    void noteStartProgress();
    void joinSessionThreads();
    // Handles the stream socket's events while the session runs and the subscriber lives,
    // until `done()`.
    template <class Done>
    void watchEvents(const std::future<void>& subscriberEnded, StreamMoveWatch& moveWatch,
                     Done&& done);
    // Asks the balancer again when the stream has stayed disconnected, and follows it to the
    // port it names now.
    void followStreamMove(StreamMoveWatch& watch);
    void closeStreamSocket();
    void receiveLoop();
    // takeRefresh with the store gate held.
    RefreshResult takeRefreshInGate(RefreshFamily family);

    Gate subscriptionGate_;

    // The session flags, one-byte atomics. Raised by startSessionThreads (monitor) and the
    // subscriber once connected (running); lowered by requestStop from any thread, and by each
    // session thread as it ends (alive).
    std::atomic<bool> monitorRunning_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> monitorAlive_{false};
    std::atomic<bool> subscriberAlive_{false};
    std::atomic<std::uint64_t> stopRequests_{0};
    std::atomic<bool> quickStart_{false};  // written before the threads start
    std::atomic<bool> streamReady_{false};
    std::mutex progressMutex_;
    std::condition_variable progressChanged_;
    std::uint64_t progress_ = 0;  // under progressMutex_

    // A restart writes these while a request of the previous session, or a status reader,
    // still reads them; the session threads read streamEndpoint only while no start runs.
    mutable std::mutex sessionTextMutex_;
    std::string userKey;
    std::vector<std::string> subscribedSymbols;  // subscription gate
    std::vector<std::string> withoutSnapshot_;   // subscribed, no snapshot yet; same gate
    std::string streamEndpoint;                  // written by Initialize before the threads run
    const std::string clientSecret;
    Gate storeGate_;

    // Store gate guards everything below.
    std::map<std::string, std::string, std::less<>> records;
    std::string top20Text;

    // One hash lookup per filed message finds the topic's record and tells whether the topic
    // is in updatedTopics. Keys view the key strings of `records`, whose nodes never move, and
    // slots never move either: nothing is ever erased.
    struct TopicSlot {
        std::string* record;
        bool updated;
    };
    std::unordered_map<std::string_view, TopicSlot> topicIndex_;
    // A topic waiting to be served, with its slot, so a refresh reaches the record without a
    // lookup however many topics wait.
    struct PendingTopic {
        std::string_view topic;
        TopicSlot* slot;
        operator std::string_view() const { return topic; }
    };
    static const std::string* recordOfPending(const PendingTopic& pending) {
        return pending.slot->record;
    }
    std::vector<PendingTopic> deferredTopics;
    std::vector<PendingTopic> updatedTopics;
    // Empties updatedTopics, returning what it held.
    std::vector<PendingTopic> takeUpdatedTopics();
    std::uint64_t top20Streamed_ = 0;  // streamed rankings filed so far
    StreamHealth health_;              // written under the store gate, read by anyone
    bool updatesSignalled_ = false;    // whether `updates_` was last raised
    // Brings the counts up to date with the pending topics and answers how many wait.
    std::size_t countTopics();
    // Brings the counts and the update signal up to date with the pending topics.
    void updateTopicCounts();
    void updateSubscriptionCount();  // under the subscription gate

    UpdateSignal updates_;  // its own lock; raised and lowered under the store gate

    api::ApiClient& api_;
    zmq::socket_t& streamSocket_;  // touched by the monitor until the subscriber owns it
    connect_monitor_c& streamMonitor_;
    StreamCommands commands_;
    std::thread monitorThread_;     // started and joined by host threads, under their lifecycle
    std::thread subscriberThread_;  // started and joined by the monitor thread
};

}  // namespace corvo::session
