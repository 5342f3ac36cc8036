// corvo-host: loads the library at run time and runs the command line's actions against it.
#include <exception>
#include <iostream>

#include "actions.h"
#include "host_errors.h"
#include "library_loader.h"
#include "options.h"
#include "output.h"

namespace {

using namespace corvo::host;

// Loads the library and runs every action; the session is stopped on every way out.
void runAll(const Options& options) {
    Library const library = Library::open(options.library);
    Output const output;
    if (options.actions.empty()) {
        output.line("loaded " + library.path().string() + ": every export the host calls is there");
        return;
    }
    ActionRunner runner(library, options, output);
    for (const Action& action : options.actions) {
        runner.run(action);
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
    } catch (const std::exception& error) {
        std::cerr << "corvo-host: " << error.what() << '\n';
        return 1;
    }
}
