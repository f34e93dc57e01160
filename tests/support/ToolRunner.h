#pragma once
// zelkora-tool run as a script runs it: a shell command line with standard input from a
// string and both outputs captured.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/TempDir.h"

namespace testing_support {

struct ToolRun {
    int status = -1;  // exit status, or -1 when the tool died of a signal
    std::string out;
    std::string err;
};

inline std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// How often `what` occurs in `text`.
inline size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Runs the tool with `args` (already quoted where needed) and `input` on standard input.
class Tool {
  public:
    ToolRun run(const std::string& args, const std::string& input = "",
                const std::string& env = "") {
        {
            std::ofstream in(work_.file("stdin"), std::ios::binary);
            in << input;
        }
        const std::string command =
            env + " " + std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool " +
            args + " <" + quoted(work_.file("stdin")) + " >" + quoted(work_.file("stdout")) +
            " 2>" + quoted(work_.file("stderr"));
        const int raw = std::system(command.c_str());
        ToolRun r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        if (WIFEXITED(raw) && WEXITSTATUS(raw) >= 126) r.status = -1;  // shell: died or missing
        r.out = readText(work_.file("stdout"));
        r.err = readText(work_.file("stderr"));
        return r;
    }

  private:
    TempDir work_;
};

}  // namespace testing_support
