#include "tools/zelkora-tool/TrackFileInput.h"

#include <array>
#include <cstdio>

#include "platform/InputFile.h"
#include "tools/zelkora-tool/Command.h"

namespace tool {

int readTrackFile(const char* command, const std::string& path,
                  const std::function<void(const TrackRecord&)>& take,
                  const std::function<void()>& opened) {
    platform::InputFile in;
    if (!in.open(path)) {
        std::fprintf(stderr, "Cannot open file %s\n", path.c_str());
        return kExitBadFile;
    }
    if (opened) opened();
    std::array<uint8_t, TrackRecord::kSize> bytes{};
    int64_t read = 0, skipped = 0, offset = 0;
    bool torn = false;
    // A regular file gives whole reads up to its end, so a short read is the part record a
    // cut-off write left at the end.
    int64_t n = 0;
    while ((n = in.read(bytes)) == static_cast<int64_t>(bytes.size())) {
        TrackRecord r;
        if (!r.decode(bytes)) {
            torn = true;
            break;
        }
        offset += n;
        if (!r.hasPossibleTime()) {
            ++skipped;
            continue;
        }
        take(r);
        ++read;
    }
    // What was printed goes out before what is said about it.
    if (n < 0 || skipped > 0 || torn) std::fflush(stdout);
    if (n < 0) {
        std::fprintf(stderr, "zelkora-tool %s: cannot read %s\n", command, path.c_str());
        return kExitFailure;
    }
    if (skipped > 0) {
        std::fprintf(stderr,
                     "zelkora-tool %s: %s: %lld record%s with an impossible date or time "
                     "skipped\n",
                     command, path.c_str(), static_cast<long long>(skipped),
                     skipped == 1 ? "" : "s");
    }
    if (torn) {
        std::fprintf(stderr,
                     "zelkora-tool %s: %s: no record at byte %lld (a write cut off there); the "
                     "rest of the file is skipped\n",
                     command, path.c_str(), static_cast<long long>(offset));
    }
    if (read == 0 && (torn || skipped > 0)) {
        std::fprintf(stderr, "File Corrupt %s\n", path.c_str());
        return kExitBadFile;
    }
    return kExitOk;
}

}  // namespace tool
