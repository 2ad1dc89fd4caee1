// AcquireRemoteDisplay: the adapter and display search over the bound display library.
#include "abi/win32_resource.h"
#include "bindings/grx_error.h"
#include "bindings/grx_library.h"
#include "bindings/grx_remote_display.h"

#include <cstring>
#include <limits>
#include <vector>

namespace grx {
namespace {

// A display-record array that the library allocated through our allocator (malloc underneath).
using DisplayArray = win32::UniqueMalloc<std::uint8_t>;

struct Adapter {
    std::int32_t index;
    std::wstring name;
};

// Each byte taken as a signed 8-bit character and widened by sign extension.
std::wstring WidenSigned(const std::uint8_t* text, std::size_t capacity) {
    std::wstring wide;
    for (std::size_t i = 0; i < capacity && text[i] != 0; ++i) {
        wide.push_back(static_cast<wchar_t>(static_cast<signed char>(text[i])));
    }
    return wide;
}

std::vector<Adapter> ReadAdapters(const GRXFunctions& f) {
    std::int32_t count = 0;
    if (const std::int32_t result = f.adapterCountGet(&count)) throw grx_runtime_error(result);
    if (count <= 0 || count > std::numeric_limits<std::int32_t>::max() / layout::kAdapterRecordSize) {
        throw grx_runtime_error(kBindingFailure);
    }
    std::vector<std::uint8_t> records(static_cast<std::size_t>(count) * layout::kAdapterRecordSize, 0);
    if (const std::int32_t result = f.adapterInfoGet(records.data(), count * layout::kAdapterRecordSize)) {
        throw grx_runtime_error(result);
    }
    std::vector<Adapter> adapters;
    adapters.reserve(static_cast<std::size_t>(count));
    constexpr std::size_t kNameCapacity = layout::kAdapterRecordSize - layout::kAdapterNameOffset;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint8_t* record = records.data() + static_cast<std::size_t>(i) * layout::kAdapterRecordSize;
        adapters.push_back({ReadInt32(record, layout::kAdapterIndexOffset),
                            WidenSigned(record + layout::kAdapterNameOffset, kNameCapacity)});
    }
    return adapters;
}

// The adapter's display records; false when the query fails (that adapter is skipped, and
// whatever the failed call left in the array pointer is not trusted, so not freed).
bool QueryDisplays(const GRXFunctions& f, std::int32_t adapter_index, DisplayArray& array, std::int32_t& count) {
    std::uint8_t* records = nullptr;
    count = 0;
    if (f.displayInfoGet(adapter_index, &count, &records, 0) != 0) return false;
    array.Reset(records);
    if (records == nullptr || count < 0) count = 0;
    return true;
}

std::shared_ptr<RemoteDisplay> AcquireOnAdapter(const Adapter& adapter, const std::uint8_t* records,
                                                std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint8_t* record = records + static_cast<std::size_t>(i) * layout::kDisplayRecordSize;
        if (ReadInt32(record, layout::kDisplayKindOffset) != layout::kRemoteDisplayKind) continue;
        DisplayId id;
        std::memcpy(&id, record + layout::kDisplayIdOffset, sizeof id);
        auto display = std::make_shared<RemoteDisplay>(adapter.index, id, adapter.name);
        if (display->TryAcquire()) return display;
    }
    return nullptr;
}

}  // namespace

std::shared_ptr<RemoteDisplay> AcquireRemoteDisplay(const std::wstring& name) {
    const GRXFunctions* f = detail::BindDisplayLibrary();
    if (f == nullptr) throw grx_runtime_error(kBindingFailure);
    for (const Adapter& adapter : ReadAdapters(*f)) {
        DisplayArray displays;
        std::int32_t count = 0;
        if (!QueryDisplays(*f, adapter.index, displays, count)) continue;
        if (!name.empty() && name != adapter.name) continue;
        if (auto display = AcquireOnAdapter(adapter, displays.Get(), count)) return display;
    }
    throw grx_runtime_error(kBindingFailure);
}

}  // namespace grx
