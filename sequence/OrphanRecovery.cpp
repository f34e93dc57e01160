#include "sequence/OrphanRecovery.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/InputFile.h"
#include "sequence/SequenceFolder.h"
#include "sequence/SequenceFormat.h"
#include "sequence/SequenceNaming.h"
#include "sequence/SequenceSaver.h"

namespace fs = std::filesystem;

namespace {

// The text fields lie between these offsets; the writer fills them with spaces, so they
// say nothing about completeness and are left out of the comparison.
constexpr size_t kTextBegin = 6;
constexpr size_t kTextEnd = 281;

std::vector<uint8_t> readUpTo(const fs::path& path, size_t limit) {
    std::vector<uint8_t> bytes;
    if (!platform::readRegularFile(path.string(), limit, bytes)) bytes.clear();
    return bytes;
}

bool olderThanAMinute(const fs::path& path) {
    std::error_code ec;
    const auto written = fs::last_write_time(path, ec);
    return !ec && fs::file_time_type::clock::now() - written >= OrphanRecovery::kMinimumAge;
}

bool isStaleClaim(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec) && fs::file_size(path, ec) == 0 && !ec &&
           olderThanAMinute(path);
}

JulianTime startOf(std::span<const uint8_t> image) {
    SequenceFileHeader header;
    if (!readSequenceHeader(image, header) || !header.hasStartTime) return JulianTime::invalid();
    const SequenceStartTime& s = header.start;
    return JulianTime::fromDateTime(s.year, s.month, s.day, s.hour, s.minute, s.second,
                                    s.microsecond());
}

// Gives the temporary file a name; false when every name tried was taken or publishing
// failed, and the file stays where it is.
bool publishOrphan(const fs::path& temp, const fs::path& target, std::span<const uint8_t> image,
                   OrphanRecovery::Result& result) {
    if (isStaleClaim(target)) {
        std::error_code ec;
        fs::remove(target, ec);
    }
    bool exists = false;
    if (platform::publishFile(temp.string(), target.string(), &exists)) {
        ++result.published;
        return true;
    }
    if (!exists) return false;
    if (readUpTo(target, seqformat::kMaxFileSize + 1) ==
        std::vector<uint8_t>(image.begin(), image.end())) {
        std::error_code ec;
        if (fs::remove(temp, ec)) ++result.removed;
        return true;
    }
    // Another sequence holds the name: the next free second, as the saver would choose.
    const JulianTime start = startOf(image);
    if (!start.isValid()) return false;
    for (int32_t probe = 1; probe <= SequenceSaver::kMaxNameProbes; ++probe) {
        const fs::path next =
            target.parent_path() /
            seqnaming::sequenceFileName(start + int64_t{probe} * JulianTime::kSecond);
        if (platform::publishFile(temp.string(), next.string(), &exists)) {
            ++result.published;
            return true;
        }
        if (!exists) return false;
    }
    return false;
}

}  // namespace

bool OrphanRecovery::isCompleteImage(std::span<const uint8_t> image) {
    if (image.size() < seqformat::kDataOffset84 || image.size() > seqformat::kMaxWrittenSize) {
        return false;
    }
    SequenceFileHeader header;
    if (!readSequenceHeader(image, header) || header.type != seqformat::kType84) return false;
    auto store = std::make_unique<DotStore>();
    if (decodeSequenceImage(image, *store) <= 0) return false;
    const std::vector<uint8_t> again =
        encodeSequenceImage(*store, SequenceHeaderText{}, header.start, header.position);
    if (again.size() != image.size()) return false;
    for (size_t i = 0; i < image.size(); ++i) {
        if ((i < kTextBegin || i >= kTextEnd) && again[i] != image[i]) return false;
    }
    return true;
}

OrphanRecovery::Result OrphanRecovery::sweep(const std::string& folderPath) {
    Result result;
    std::error_code ec;
    std::vector<fs::path> orphans;
    for (fs::directory_iterator it(folderPath, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string target = platform::publishedNameOf(it->path().filename().string());
        std::error_code typeError;
        if (!target.empty() && SequenceFolder::isSequenceFileName(target) &&
            it->is_regular_file(typeError)) {
            orphans.push_back(it->path());
        }
    }
    // Files are renamed only after the listing, which a rename in the middle could upset.
    for (const fs::path& temp : orphans) {
        if (!olderThanAMinute(temp)) {
            ++result.waiting;
            continue;
        }
        const std::vector<uint8_t> image = readUpTo(temp, seqformat::kMaxFileSize + 1);
        if (!isCompleteImage(image)) {
            std::error_code removeError;
            if (fs::remove(temp, removeError)) ++result.removed;
            continue;
        }
        const fs::path target =
            temp.parent_path() / platform::publishedNameOf(temp.filename().string());
        publishOrphan(temp, target, image, result);
    }
    return result;
}

void OrphanRecovery::onFolderCheck(const std::string& folderPath) {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (folderPath == lastFolder_ && !(waiting_ && now >= retryAt_)) return;
    lastFolder_ = folderPath;
    waiting_ = sweep(folderPath).waiting > 0;
    retryAt_ = now + kMinimumAge;
}
