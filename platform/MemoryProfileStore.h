#pragma once
#include <map>
#include <variant>
#include <vector>

#include "platform/ProfileStore.h"

namespace platform {

// A profile store held in memory, for tests and for runs that must not touch the user's
// settings. It remembers the order of writes so that callers can check what was saved.
class MemoryProfileStore : public ProfileStore {
  public:
    using Value = std::variant<int32_t, std::string>;

    std::optional<int32_t> readInt(const std::string& key) const override {
        auto it = values_.find(key);
        if (it == values_.end() || !std::holds_alternative<int32_t>(it->second)) return {};
        return std::get<int32_t>(it->second);
    }
    std::optional<std::string> readString(const std::string& key) const override {
        auto it = values_.find(key);
        if (it == values_.end() || !std::holds_alternative<std::string>(it->second)) return {};
        return std::get<std::string>(it->second);
    }
    void writeInt(const std::string& key, int32_t value) override {
        values_[key] = value;
        writeOrder_.push_back(key);
    }
    void writeString(const std::string& key, const std::string& value) override {
        values_[key] = value;
        writeOrder_.push_back(key);
    }

    const std::map<std::string, Value>& values() const { return values_; }
    const std::vector<std::string>& writeOrder() const { return writeOrder_; }
    void clearWriteOrder() { writeOrder_.clear(); }

  private:
    std::map<std::string, Value> values_;
    std::vector<std::string> writeOrder_;
};

}  // namespace platform
