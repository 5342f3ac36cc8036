#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

extern char** environ;

namespace corvo::testing {
namespace {

// A file descriptor closed when it goes out of scope.
class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

struct Pipe {
    Pipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            reading = std::make_unique<Descriptor>(ends[0]);
            writing = std::make_unique<Descriptor>(ends[1]);
        }
    }
    std::unique_ptr<Descriptor> reading;
    std::unique_ptr<Descriptor> writing;
};

class SpawnActions {
  public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
};

// Null-terminated pointers into `texts`, which must outlive them.
std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Reads both pipes until the program closes them or the deadline passes (then kills it).
void collect(pid_t pid, Pipe& out, Pipe& err, const RunOptions& options, ProgramRun& run) {
    auto const deadline = std::chrono::steady_clock::now() + options.deadline;
    pollfd fds[2] = {{out.reading->get(), POLLIN, 0}, {err.reading->get(), POLLIN, 0}};
    std::string* targets[2] = {&run.out, &run.err};
    bool interrupted = false;
    int open = 2;
    while (open > 0) {
        auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || ::poll(fds, 2, static_cast<int>(left.count())) < 0) {
            ::kill(pid, SIGKILL);
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char chunk[4096];
            ssize_t const got = ::read(fds[i].fd, chunk, sizeof chunk);
            if (got <= 0) {
                fds[i].fd = -1;
                --open;
            } else {
                targets[i]->append(chunk, static_cast<std::size_t>(got));
            }
        }
        if (!interrupted && !options.interruptAfter.empty() &&
            run.out.find(options.interruptAfter) != std::string::npos) {
            ::kill(pid, SIGINT);
            interrupted = true;
        }
    }
}

}  // namespace

ProgramRun runProgram(const std::string& path, const std::vector<std::string>& arguments,
                      const RunOptions& options) {
    std::vector<std::string> words{path};
    words.insert(words.end(), arguments.begin(), arguments.end());
    // The suite's environment without the names the run sets itself.
    std::vector<std::string> environment = options.environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string const inherited = *entry;
        auto const name = inherited.substr(0, inherited.find('=') + 1);
        if (std::none_of(options.environment.begin(), options.environment.end(),
                         [&](const std::string& set) { return set.rfind(name, 0) == 0; })) {
            environment.push_back(inherited);
        }
    }
    auto argv = pointersTo(words);
    auto envp = pointersTo(environment);
    Pipe out;
    Pipe err;
    ProgramRun run;
    if (!out.reading || !err.reading) {
        ADD_FAILURE() << "pipe failed";
        return run;
    }
    SpawnActions actions;
    posix_spawn_file_actions_adddup2(actions.get(), out.writing->get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), err.writing->get(), STDERR_FILENO);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], actions.get(), nullptr, argv.data(), envp.data()) != 0) {
        ADD_FAILURE() << "cannot start " << path;
        return run;
    }
    out.writing->reset();
    err.writing->reset();
    collect(pid, out, err, options, run);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace corvo::testing
