#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The sorted list of sequence file names of one folder. Names are kept as the folder holds
// them, so every listed name opens on a file system that tells case apart (a card written by
// another program may hold "l7011845.14#"). They sort ascending by code unit with letters
// folded to upper case, which for names made from start times is the order of the starts
// whatever their case.
class SequenceFolder {
  public:
    // True when `name` is a sequence file name: any name whose three-character extension
    // ends in '#' (the pattern "*.??#").
    static bool isSequenceFileName(std::string_view name);
    // Code-unit order of the names folded to upper case (bytes of UTF-8 compare like code
    // points, which for the ASCII names the system writes is the same as a 16-bit
    // comparison); names that differ only in case then compare by their own code units.
    static int compareNames(const std::string& a, const std::string& b);

    // Whether a scan leaves out empty files, which takes a look at every file's size; with
    // kLater it reads the folder's names only (and a file's type where the folder does not
    // say it), and the caller looks at the sizes of the files it uses.
    enum class Sizes { kChecked, kLater };

    // Rebuilds the list from the folder's regular files that match the pattern and are not
    // empty. Returns the number of names listed; -1 when the folder cannot be read.
    int32_t scan(const std::string& folderPath, Sizes sizes = Sizes::kChecked);
    // Binary insertion that keeps the list ascending; an equal name goes after its twin.
    void addName(const std::string& name);
    void clear() { names_.clear(); }

    // The index of `name`: its exact match, else the first name that differs only in case
    // (a remembered or typed name, as the handheld's file system matched names), or -1.
    int32_t find(const std::string& name) const;

    // How the folder spells `name`: the name itself when a file of that name is there, else
    // the name of a file that differs from it only in case, else `name` unchanged.
    static std::string spellingOnDisk(const std::string& folderPath, const std::string& name);

    const std::vector<std::string>& names() const { return names_; }
    int32_t size() const { return static_cast<int32_t>(names_.size()); }
    bool empty() const { return names_.empty(); }

  private:
    std::vector<std::string> names_;
};
