#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One live entry of the per-user registry of virtual serial ports.
struct VirtualPort {
    int32_t number = 0;        // 200 and up
    std::string devicePath;    // e.g. /dev/pts/7
    std::string friendlyName;  // e.g. "DETLINK simulator"
    int64_t ownerPid = 0;      // the process that registered it
};

// The per-user registry of virtual serial ports (pseudo-terminals of the simulators and the
// like), the counterpart of a Bluetooth stack's list of virtual ports. Each port is one file
// in the registry folder, named by its decimal number and holding three lines: device path,
// friendly name, owner's process id. An entry whose owner is no longer alive is stale and
// counts as absent; registering removes stale entries it meets.
class VirtualPortRegistry {
  public:
    static constexpr int32_t kFirstNumber = 200;
    static constexpr int32_t kLastNumber = 9999;

    // The registry in its usual folder: $XDG_RUNTIME_DIR/zelkora/ports/, or
    // /tmp/zelkora-<uid>/ports/ when XDG_RUNTIME_DIR is unset or empty.
    VirtualPortRegistry();
    // The registry in another folder (with or without a trailing '/').
    explicit VirtualPortRegistry(std::string folder);

    static std::string defaultFolder();
    const std::string& folder() const { return folder_; }

    // Registers `devicePath` as a virtual port owned by this process: as number `requested`
    // when it is not 0, else as the first free number from 200. The folder is created (mode
    // 0700) when missing. Returns the number, or -1 when the folder is unusable, the requested
    // number is taken by a live owner or out of range, no number is free, or the texts hold
    // line breaks; `error` then says why.
    int32_t registerPort(const std::string& devicePath, const std::string& friendlyName,
                         int32_t requested = 0, std::string* error = nullptr);

    // Removes the entry `number` if this process owns it (or its owner is gone). True when
    // the entry is gone afterwards.
    bool unregisterPort(int32_t number);

    // The live entries in number order.
    std::vector<VirtualPort> list() const;

    // The live entry `number`, if there is one.
    std::optional<VirtualPort> lookup(int32_t number) const;

  private:
    std::string folder_;  // ends in '/'
};

}  // namespace platform
