// The absolute-path test, slash fixing and the canonical form of a path.
#include <vqx/paths.h>

#include "util/paths_working_text.h"

#include <cwchar>
#include <string>

namespace {

using Text = std::wstring;
constexpr size_t npos = Text::npos;

bool ReplaceFirst(Text& text, const Text& what, const Text& with) {
    const size_t at = text.find(what);
    if (at == npos) return false;
    text.replace(at, what.size(), with);
    return true;
}

// Splits off the drive or other prefix: everything up to the first ':', or the "\\?\UNC\" form,
// which becomes "\\".
Text TakePrefix(Text& path) {
    const size_t colon = path.find(L':');
    if (colon != npos) {
        Text prefix = path.substr(0, colon + 1);
        path.erase(0, colon + 1);
        return prefix;
    }
    static const Text kUncLong = L"\\\\?\\UNC\\";
    const size_t unc = path.find(kUncLong);
    if (unc != npos) {
        path.erase(0, unc + kUncLong.size());
        return L"\\\\";
    }
    return Text();
}

// Each "\.." drops itself and the component before it; with no '\' before it, only itself.
// The text "\.." also matches the start of a longer name such as "\..x".
void FoldParentSteps(Text& path) {
    for (size_t at = path.find(L"\\.."); at != npos; at = path.find(L"\\..")) {
        const size_t previous = at > 0 ? path.rfind(L'\\', at - 1) : npos;
        if (previous != npos) {
            path.erase(previous, at + 3 - previous);
        } else {
            path.erase(at, 3);
        }
    }
}

}  // namespace

extern "C" {

bool VQX_CALL vqx_path_is_absolute(const wchar_t* path) {
    if (path == nullptr || path[0] == L'\0') return false;
    if (std::wcschr(path, L':') != nullptr) return true;
    return path[0] == L'\\' && path[1] == L'\\';
}

void VQX_CALL vqx_path_fix_os_slashes(wchar_t* path) {
    if (path == nullptr) return;
    for (; *path != L'\0'; ++path) {
        if (*path == L'/') *path = L'\\';
    }
}

bool VQX_CALL vqx_get_canonic_path(const wchar_t* source, wchar_t* destination) {
    if (destination == nullptr) return false;
    std::optional<Text> working = vqx::detail::LoadWorkingPath(source);
    if (!working) return false;
    Text& path = *working;

    Text prefix = TakePrefix(path);
    while (ReplaceFirst(path, L"\\.\\", L"\\")) {
    }
    FoldParentSteps(path);
    ReplaceFirst(path, L"..\\", L"");
    ReplaceFirst(path, L".\\", L"");
    ReplaceFirst(path, L"\\.", L"\\");
    if (path.empty()) prefix += L'\\';

    const Text result = prefix + path;
    std::wmemcpy(destination, result.c_str(), result.size() + 1);
    return true;
}

}  // extern "C"
