#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The per-user store of named settings values, one section per application. A value that
// is missing or of the wrong kind reads as nullopt; writes are not reported as failing
// because the callers have nothing sensible to do about it.
class ProfileStore {
  public:
    virtual ~ProfileStore() = default;
    virtual std::optional<int32_t> readInt(const std::string& key) const = 0;
    virtual std::optional<std::string> readString(const std::string& key) const = 0;
    virtual void writeInt(const std::string& key, int32_t value) = 0;
    virtual void writeString(const std::string& key, const std::string& value) = 0;
    // Pushes the values to their permanent place (a no-op where writes are immediate).
    virtual void flush() {}
};

}  // namespace platform
