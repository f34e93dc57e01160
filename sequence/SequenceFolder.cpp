#include "sequence/SequenceFolder.h"

#include <algorithm>
#include <filesystem>

bool SequenceFolder::isSequenceFileName(const std::string& name) {
    // "*.??#": anything, a '.', any two characters and a '#' at the end.
    const size_t n = name.size();
    return n >= 4 && name[n - 4] == '.' && name[n - 1] == '#';
}

namespace {

unsigned char folded(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

int compareCodeUnits(const std::string& a, const std::string& b, bool fold) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = fold ? folded(a[i]) : static_cast<unsigned char>(a[i]);
        const unsigned char cb = fold ? folded(b[i]) : static_cast<unsigned char>(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

int SequenceFolder::compareNames(const std::string& a, const std::string& b) {
    const int byFolded = compareCodeUnits(a, b, true);
    return byFolded != 0 ? byFolded : compareCodeUnits(a, b, false);
}

int32_t SequenceFolder::scan(const std::string& folderPath, Sizes sizes) {
    names_.clear();
    std::error_code ec;
    std::filesystem::directory_iterator it(folderPath, ec);
    if (ec) return -1;
    std::vector<std::string> found;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        // Plain files only: folders and devices that happen to match are not sequences.
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string name = it->path().filename().string();
        if (!isSequenceFileName(name)) continue;
        // An empty file is no sequence: it is the claim that a save on a card holds while
        // it runs, or that a save cut short by a crash or a power cut left behind until the
        // orphan recovery replaces it.
        std::error_code sizeError;
        if (sizes == Sizes::kChecked && it->file_size(sizeError) == 0 && !sizeError) continue;
        found.push_back(std::move(name));
    }
    // A stable sort gives exactly what inserting one name at a time does (twins keep their
    // order of arrival), without the quadratic cost of insertion on large folders.
    std::stable_sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return compareNames(a, b) < 0;
    });
    names_ = std::move(found);
    return size();
}

void SequenceFolder::addName(const std::string& name) {
    if (names_.empty()) {
        names_.push_back(name);
        return;
    }
    if (compareNames(name, names_.back()) >= 0) {
        names_.push_back(name);
        return;
    }
    if (compareNames(name, names_.front()) <= 0) {
        names_.insert(names_.begin(), name);
        return;
    }
    size_t lo = 0, hi = names_.size();
    while (hi - lo > 1) {
        size_t mid = (lo + hi) / 2;
        if (compareNames(name, names_[mid]) >= 0) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    names_.insert(names_.begin() + static_cast<long>(hi), name);
}

int32_t SequenceFolder::find(const std::string& name) const {
    int32_t sameButCase = -1;
    for (size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == name) return static_cast<int32_t>(i);
        if (sameButCase < 0 && compareCodeUnits(names_[i], name, true) == 0) {
            sameButCase = static_cast<int32_t>(i);
        }
    }
    return sameButCase;
}

std::string SequenceFolder::spellingOnDisk(const std::string& folderPath, const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (name.empty() || fs::exists(fs::path(folderPath) / name, ec)) return name;
    fs::directory_iterator it(folderPath, ec);
    if (ec) return name;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::string found = it->path().filename().string();
        std::error_code typeError;
        if (compareCodeUnits(found, name, true) == 0 && it->is_regular_file(typeError)) {
            return found;
        }
    }
    return name;
}
