// corvo-host: loads the library at run time and runs the command line's actions against it.
#include <algorithm>
#include <exception>
#include <iostream>

#include "actions.h"
#include "file_listing.h"
#include "host_errors.h"
#include "library_loader.h"
#include "options.h"
#include "output.h"

namespace {

using namespace corvo::host;

// What a shell reports for a program that SIGINT ended.
constexpr int kInterruptedStatus = 130;

// Loads the library and runs every action; the session is stopped on every way out.
void runAll(const Options& options) {
    Library const library = Library::open(options.library);
    Output const output;
    if (options.actions.empty()) {
        output.note("loaded " + library.path().string() + ": every export the host calls is there",
                    {{"loaded", library.path().string()}});
        return;
    }
    // Before any session starts, so a run that cannot write its files fails at once.
    if (std::any_of(options.actions.begin(), options.actions.end(),
                    [](const Action& action) { return action.kind == ActionKind::files; })) {
        filesDirectoryFor(library.path());
    }
    ActionRunner runner(library, options, output);
    try {
        for (const Action& action : options.actions) {
            runner.run(action);
        }
    } catch (const Interrupted&) {
        // A failure to stop is reported in place of the interruption.
        runner.finish();
        throw;
    }
    runner.finish();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseCommandLine(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << "corvo-host: " << error.what() << '\n' << usageSynopsis();
        return 2;
    }
    if (options.help) {
        std::cout << helpText();
        return 0;
    }
    try {
        runAll(options);
        return 0;
    } catch (const Interrupted& interrupted) {
        std::cerr << "corvo-host: " << interrupted.what() << '\n';
        return kInterruptedStatus;
    } catch (const std::exception& error) {
        std::cerr << "corvo-host: " << error.what() << '\n';
        return 1;
    }
}
