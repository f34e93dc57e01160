#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tool {

// A small parser for "--name value", "--flag" and positional arguments. Each sub-command
// declares which options take a value and which are flags; anything else is a usage error.
class ToolArgs {
  public:
    ToolArgs(std::vector<std::string> valueOptions, std::vector<std::string> flagOptions);

    // False on an unknown option or a missing value; `error()` then says which.
    bool parse(const std::vector<std::string>& args);

    bool has(const std::string& option) const;
    std::optional<std::string> value(const std::string& option) const;
    // The option's value as an integer in [min, max]; nullopt (and an error) when it is
    // present but not such a number, `fallback` when absent.
    std::optional<int64_t> integer(const std::string& option, int64_t fallback, int64_t min,
                                   int64_t max);
    // The option's value as a finite number in [min, max]; nullopt when absent, and when it
    // is present but not such a number, with the error "option OPTION needs NEEDS, not
    // 'TEXT'" kept for the first such option.
    std::optional<double> real(const std::string& option, double min, double max,
                               const std::string& needs);
    const std::vector<std::string>& positional() const { return positional_; }
    bool helpRequested() const { return help_; }
    const std::string& error() const { return error_; }

  private:
    std::set<std::string> valueOptions_;
    std::set<std::string> flagOptions_;
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_;
    std::vector<std::string> positional_;
    bool help_ = false;
    std::string error_;
};

// Prints "zelkora-tool <cmd>: <message>" and the usage line to standard error; returns 64.
int usageError(const std::string& command, const std::string& message, const std::string& usage);

// The opening of a sub-command that takes options only: parses `argv`, prints the help when
// asked and refuses a stray argument. The exit status when the command ends there, else
// nullopt.
std::optional<int> parseOptionsOnly(ToolArgs& args, const std::vector<std::string>& argv,
                                    const char* name, const char* usage, const char* help);

}  // namespace tool
