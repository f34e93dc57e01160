#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The sorted list of sequence file names of one folder. Names are upper case and sorted
// ascending by code unit, which for names made from start times is the order of the starts.
class SequenceFolder {
  public:
    // True when `name` is a sequence file name: any name whose three-character extension
    // ends in '#' (the pattern "*.??#").
    static bool isSequenceFileName(const std::string& name);
    static std::string toUpper(std::string name);
    // Code-unit order (bytes of UTF-8 compare like code points, which for the ASCII names the
    // system writes is the same as the original 16-bit comparison).
    static int compareNames(const std::string& a, const std::string& b);

    // Rebuilds the list from the folder's regular files that match the pattern. Returns the
    // number of names listed; -1 when the folder cannot be read.
    int32_t scan(const std::string& folderPath);
    // Binary insertion that keeps the list ascending; an equal name goes after its twin.
    void addName(const std::string& name);
    void clear() { names_.clear(); }

    // The index of `name` (exact match), or -1.
    int32_t find(const std::string& name) const;

    const std::vector<std::string>& names() const { return names_; }
    int32_t size() const { return static_cast<int32_t>(names_.size()); }
    bool empty() const { return names_.empty(); }

  private:
    std::vector<std::string> names_;
};
