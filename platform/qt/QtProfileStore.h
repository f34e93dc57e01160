#pragma once
#include <memory>

#include "platform/ProfileStore.h"

class QSettings;

namespace platform {

// The settings as an INI file in the user's configuration folder (XDG_CONFIG_HOME),
// organisation "Chirova", application "zelkora", every key in the group "Zelkora".
class QtProfileStore : public ProfileStore {
  public:
    QtProfileStore();
    // A store in an explicit INI file, for tools that are pointed at another profile.
    explicit QtProfileStore(const std::string& iniPath);
    ~QtProfileStore() override;

    std::optional<int32_t> readInt(const std::string& key) const override;
    std::optional<std::string> readString(const std::string& key) const override;
    void writeInt(const std::string& key, int32_t value) override;
    void writeString(const std::string& key, const std::string& value) override;
    void flush() override;

    std::string fileName() const;

  private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace platform
