#include "tools/zelkora-tool/ToolArgs.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "tools/zelkora-tool/Command.h"

namespace tool {

ToolArgs::ToolArgs(std::vector<std::string> valueOptions, std::vector<std::string> flagOptions)
    : valueOptions_(valueOptions.begin(), valueOptions.end()),
      flagOptions_(flagOptions.begin(), flagOptions.end()) {}

bool ToolArgs::parse(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            help_ = true;
            continue;
        }
        if (a == "--") {
            positional_.insert(positional_.end(), args.begin() + static_cast<long>(i) + 1,
                               args.end());
            break;
        }
        // "-j N" and "-jN", as make and compilers take them, for "--jobs N".
        const bool shortJobs =
            a.size() >= 2 && a.compare(0, 2, "-j") == 0 && valueOptions_.count("--jobs") != 0;
        if (shortJobs || (a.size() > 2 && a.compare(0, 2, "--") == 0)) {
            std::string name = shortJobs ? "--jobs" : a;
            std::optional<std::string> inlineValue;
            if (shortJobs) {
                if (a.size() > 2) inlineValue = a.substr(2);
            } else if (auto eq = a.find('='); eq != std::string::npos) {
                name = a.substr(0, eq);
                inlineValue = a.substr(eq + 1);
            }
            if (valueOptions_.count(name)) {
                if (inlineValue) {
                    values_[name] = *inlineValue;
                } else if (i + 1 < args.size()) {
                    values_[name] = args[++i];
                } else {
                    error_ = "option " + name + " needs a value";
                    return false;
                }
            } else if (flagOptions_.count(name) && !inlineValue) {
                flags_.insert(name);
            } else {
                error_ = "unknown option " + a;
                return false;
            }
            continue;
        }
        positional_.push_back(a);
    }
    return true;
}

bool ToolArgs::has(const std::string& option) const {
    return flags_.count(option) || values_.count(option);
}

std::optional<std::string> ToolArgs::value(const std::string& option) const {
    auto it = values_.find(option);
    if (it == values_.end()) return {};
    return it->second;
}

std::optional<int64_t> ToolArgs::integer(const std::string& option, int64_t fallback, int64_t min,
                                         int64_t max) {
    auto text = value(option);
    if (!text) return fallback;
    int64_t n = 0;
    const char* first = text->data();
    const char* last = first + text->size();
    auto [ptr, ec] = std::from_chars(first, last, n);
    if (ec != std::errc() || ptr != last || n < min || n > max) {
        error_ = "option " + option + " needs a whole number from " + std::to_string(min) + " to " +
                 std::to_string(max) + ", not '" + *text + "'";
        return std::nullopt;
    }
    return n;
}

std::optional<double> ToolArgs::real(const std::string& option, double min, double max,
                                     const std::string& needs) {
    auto text = value(option);
    if (!text) return std::nullopt;
    double v = 0;
    const char* first = text->data();
    const char* last = first + text->size();
    auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || ptr != last || !std::isfinite(v) || v < min || v > max) {
        if (error_.empty())
            error_ = "option " + option + " needs " + needs + ", not '" + *text + "'";
        return std::nullopt;
    }
    return v;
}

int usageError(const std::string& command, const std::string& message, const std::string& usage) {
    std::fprintf(stderr, "zelkora-tool %s: %s\nusage: %s\n", command.c_str(), message.c_str(),
                 usage.c_str());
    return kExitUsage;
}

std::optional<int> parseOptionsOnly(ToolArgs& args, const std::vector<std::string>& argv,
                                    const char* name, const char* usage, const char* help) {
    if (!args.parse(argv)) return usageError(name, args.error(), usage);
    if (args.helpRequested()) {
        std::printf("usage: %s\n\n%s", usage, help);
        return kExitOk;
    }
    if (!args.positional().empty())
        return usageError(name, "unexpected argument " + args.positional().front(), usage);
    return std::nullopt;
}

}  // namespace tool
