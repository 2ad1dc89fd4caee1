// The relative path from a folder to a file.
#include <vqx/paths.h>

#include "util/paths_working_text.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using Text = std::wstring;

void RemoveFirstDoubleBackslash(Text& text) {
    const size_t at = text.find(L"\\\\");
    if (at != Text::npos) text.erase(at, 2);
}

// Components between '\', empty ones dropped.
std::vector<Text> SplitComponents(const Text& text) {
    std::vector<Text> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\\', start);
        if (end == Text::npos) end = text.size();
        if (end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool SameComponent(const Text& a, const Text& b) {
    return vqx::vqx_string_ci_compare(vqx::vqx_wstring(a.c_str(), a.size()), vqx::vqx_wstring(b.c_str(), b.size())) ==
           0;
}

size_t CountSharedLeading(const std::vector<Text>& a, const std::vector<Text>& b) {
    const size_t limit = std::min(a.size(), b.size());
    size_t shared = 0;
    while (shared < limit && SameComponent(a[shared], b[shared]))
        ++shared;
    return shared;
}

}  // namespace

extern "C" bool VQX_CALL vqx_get_relative_path_to(const wchar_t* from_folder, const wchar_t* to_path,
                                                  wchar_t* destination) {
    if (destination == nullptr) return false;
    std::optional<Text> from = vqx::detail::LoadWorkingPath(from_folder);
    std::optional<Text> to = vqx::detail::LoadWorkingPath(to_path);
    if (!from || !to) return false;

    // The target's part after its last '\' is the file name; the rest is its folder.
    const size_t lastSeparator = to->rfind(L'\\');
    const Text fileName = lastSeparator == Text::npos ? *to : to->substr(lastSeparator + 1);
    to->erase(lastSeparator == Text::npos ? 0 : lastSeparator);

    RemoveFirstDoubleBackslash(*from);
    RemoveFirstDoubleBackslash(*to);
    const std::vector<Text> fromParts = SplitComponents(*from);
    const std::vector<Text> toParts = SplitComponents(*to);
    const size_t shared = CountSharedLeading(fromParts, toParts);
    if (shared == 0) return false;

    Text result;
    if (fromParts.size() == shared) result = L".\\";
    for (size_t i = shared; i < fromParts.size(); ++i)
        result += L"..\\";
    for (size_t i = shared; i < toParts.size(); ++i)
        result += toParts[i] + L"\\";
    result += fileName;

    if (result.size() >= vqx::detail::kPathBufferCapacity) return false;
    std::wmemcpy(destination, result.c_str(), result.size() + 1);
    return true;
}
