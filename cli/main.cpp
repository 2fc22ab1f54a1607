#include <sys/resource.h>
#include <unistd.h>

#include <iostream>

#include "cli/pack_run.h"
#include "cli/terminal_events.h"

int main(int argc, char** argv) {
    // A run of many pages holds each staged output open until all commit
    // together: three descriptors a page. Take what the system allows.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    // Progress is for a person watching: never into a pipe or a file.
    const bool terminal = ::isatty(STDOUT_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1;
    tilvane::PackConsole console{std::cout, std::cerr, terminal,
                                 [] { return tilvane::terminalColumns(STDERR_FILENO); }};
    return tilvane::runPack(args, console);
}
