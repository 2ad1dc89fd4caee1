// Directory listings, sorted directories first and then by the collation captured at load.
#include <vqx/paths.h>

#include "abi/win32_resource.h"

#include <io.h>

#include <algorithm>
#include <cwchar>
#include <locale>

namespace {

constexpr vqx::uint32 kDirectoryAttribute = 0x10;  // _A_SUBDIR

// The global locale as it was when the library was loaded (or at the first listing, should one
// come earlier); later changes of the global locale do not change the order.
const std::collate<wchar_t>& ListingCollation() {
    static const std::locale captured;
    return std::use_facet<std::collate<wchar_t>>(captured);
}

const std::collate<wchar_t>& g_listingCollationAtLoad = ListingCollation();

bool IsDotEntry(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

bool IsDirectory(const vqx::vqx_file_item_descriptor& item) {
    return (item.attributes & kDirectoryAttribute) != 0;
}

vqx::vqx_file_item_descriptor DescribeEntry(const _wfinddata64_t& entry) {
    vqx::vqx_file_item_descriptor item{};
    item.attributes = entry.attrib;
    item.time_create = entry.time_create;
    item.time_access = entry.time_access;
    item.time_write = entry.time_write;
    item.size = entry.size;
    std::wcsncpy(item.name, entry.name, sizeof(item.name) / sizeof(wchar_t));
    item.name[sizeof(item.name) / sizeof(wchar_t) - 1] = L'\0';
    return item;
}

bool ListsBefore(const vqx::vqx_file_item_descriptor& a, const vqx::vqx_file_item_descriptor& b) {
    const bool aIsDirectory = IsDirectory(a);
    if (aIsDirectory != IsDirectory(b)) return aIsDirectory;
    const wchar_t* const aEnd = a.name + std::wcslen(a.name);
    const wchar_t* const bEnd = b.name + std::wcslen(b.name);
    return g_listingCollationAtLoad.compare(a.name, aEnd, b.name, bEnd) < 0;
}

}  // namespace

namespace vqx {

bool VQX_CALL vqx_enumerate_directory(const vqx_wstring& pattern, vqx_vector<vqx_file_item_descriptor>& items) {
    items.clear();
    _wfinddata64_t entry{};
    const win32::UniqueFindHandle search(_wfindfirst64(pattern.c_str(), &entry));
    if (!search) return false;
    do {
        if (!IsDotEntry(entry.name)) items.push_back(DescribeEntry(entry));
    } while (_wfindnext64(search.Get(), &entry) == 0);
    std::sort(items.begin(), items.end(), ListsBefore);
    return true;
}

}  // namespace vqx
