#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/AboutInfo.h"
#include "tools/zelkora-tool/Command.h"

namespace {

void printOverview(FILE* out) {
    std::fprintf(out,
                 "usage: zelkora-tool COMMAND [OPTIONS...]\n"
                 "       zelkora-tool COMMAND --help\n"
                 "       zelkora-tool --version\n\ncommands:\n");
    for (const tool::Command& c : tool::commands()) {
        std::fprintf(out, "  %-16s %s\n", c.name, c.summary);
    }
}

// Why the first write to standard output failed. stdio keeps only that one did, so a command
// that writes more than a buffer's worth would lose the reason long before its end.
int stdoutError = 0;

ssize_t writeStdout(void*, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(STDOUT_FILENO, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (stdoutError == 0) stdoutError = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);  // short: stdio marks the stream failed
}

// Standard output through writeStdout, buffered as stdio buffers it.
void keepStdoutErrors() {
    FILE* out = ::fopencookie(nullptr, "w", {nullptr, &writeStdout, nullptr, nullptr});
    if (out == nullptr) return;
    std::setvbuf(out, nullptr, ::isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, BUFSIZ);
    stdout = out;
}

// What a command wrote to standard output must have arrived: a full disk or a closed pipe
// turns any result into a failure, since a script would otherwise take a cut-off listing for
// the whole of it.
int finish(const char* name, int status) {
    const int flushError = std::fflush(stdout) != 0 ? errno : 0;
    if (flushError != 0 || std::ferror(stdout)) {
        const int reason = stdoutError != 0 ? stdoutError : flushError;
        std::fprintf(stderr, "zelkora-tool %s: cannot write to standard output%s%s\n", name,
                     reason != 0 ? ": " : "", reason != 0 ? std::strerror(reason) : "");
        return tool::kExitFailure;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    keepStdoutErrors();
    if (argc < 2) {
        printOverview(stderr);
        return tool::kExitUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printOverview(stdout);
        return finish("help", tool::kExitOk);
    }
    if (name == "--version") {
        std::printf("zelkora-tool %s\n", AboutInfo::ThisProgram().version.value_or("").c_str());
        return finish("version", tool::kExitOk);
    }
    for (const tool::Command& c : tool::commands()) {
        if (name == c.name) {
            std::vector<std::string> args(argv + 2, argv + argc);
            return finish(c.name, c.run(args));
        }
    }
    std::fprintf(stderr, "zelkora-tool: unknown command '%s'\n\n", name.c_str());
    printOverview(stderr);
    return tool::kExitUsage;
}
