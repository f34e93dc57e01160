#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The names of the plain files in `folder` (a link to one counts) that `wanted` accepts, in
// the order the folder holds them; nothing when the folder cannot be read. With
// `nonEmptyOnly`, files of no bytes are left out, which takes a look at each file; without
// it, a folder of a million names is read without looking at a single file where the file
// system says what each entry is.
std::optional<std::vector<std::string>> plainFileNames(
    const std::string& folder, const std::function<bool(std::string_view)>& wanted,
    bool nonEmptyOnly);

}  // namespace platform
