// B8: resident memory after 100,000 topics are stored, beside the bytes of the records
// themselves, and across 100 session start/stop cycles.
#include <fstream>
#include <thread>

#include "common/processor_seam.h"
#include "measure.h"
#include "peer/curve_publisher.h"
#include "session/processor.h"

namespace {

using namespace corvo::bench;

double residentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

struct Engine {
    corvo::api::ApiClient client;
    zmq::socket_t socket;
    corvo::session::connect_monitor_c monitor;
    corvo::session::Processor processor{client, socket, monitor};
};

void storedTopics(Engine& engine) {
    double const before = residentMiB();
    std::size_t bytes = 0;
    std::string record;
    for (int i = 0; i < 100000; ++i) {
        std::string const topic = "M" + std::to_string(i) + "_Corvo";
        record = "\"" + topic + "\":{\"last\":" + std::to_string(100 + i % 50) +
                 ".25,\"bid\":99.5,\"ask\":100.5,\"volume\":123456}";
        bytes += topic.size() + record.size();
        engine.processor.fileRecord(topic, record);
    }
    double const after = residentMiB();
    char library[64];
    char baseline[64];
    std::snprintf(library, sizeof library, "%.1f MiB", after - before);
    std::snprintf(baseline, sizeof baseline, "%.1f MiB of records", bytes / 1048576.0);
    row("B8", "resident growth, 100,000 topics stored", library, baseline,
        (after - before) / (bytes / 1048576.0), "reported");
}

void cycles(Engine& engine) {
    corvo::testing::CurvePublisher feed;
    engine.client.setServer({"127.0.0.1", 1});
    corvo::session::ProcessorSeam::setStreamEndpoint(engine.processor, feed.endpoint());
    double afterTen = 0;
    for (int cycle = 1; cycle <= 100; ++cycle) {
        engine.processor.startSessionThreads(engine.processor.stopRequests());
        while (!engine.processor.isRunning() && !engine.processor.sessionThreadsEnded()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        engine.processor.endSession();
        if (cycle == 10) {
            afterTen = residentMiB();
        }
    }
    double const afterHundred = residentMiB();
    char library[64];
    char baseline[64];
    std::snprintf(library, sizeof library, "%.1f MiB after 100", afterHundred);
    std::snprintf(baseline, sizeof baseline, "%.1f MiB after 10", afterTen);
    row("B8", "resident size across 100 start/stop cycles", library, baseline,
        afterHundred / afterTen, "no growth");
}

}  // namespace

int main() {
    Engine engine;
    storedTopics(engine);
    cycles(engine);
    return 0;
}
