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
using DisplayArray = win32::UniqueMalloc<vqx::uint8>;

struct Adapter {
    vqx::int32 index;
    std::wstring name;
};

// Each byte taken as a signed 8-bit character and widened by sign extension.
std::wstring WidenSigned(const vqx::uint8* text, std::size_t capacity) {
    std::wstring wide;
    for (std::size_t i = 0; i < capacity && text[i] != 0; ++i) {
        wide.push_back(static_cast<wchar_t>(static_cast<signed char>(text[i])));
    }
    return wide;
}

std::vector<Adapter> ReadAdapters(const GRXFunctions& f) {
    vqx::int32 count = 0;
    if (const vqx::int32 result = f.adapterCountGet(&count)) throw grx_runtime_error(result);
    if (count <= 0 || count > std::numeric_limits<vqx::int32>::max() / layout::kAdapterRecordSize) {
        throw grx_runtime_error(kBindingFailure);
    }
    std::vector<vqx::uint8> records(static_cast<std::size_t>(count) * layout::kAdapterRecordSize, 0);
    if (const vqx::int32 result = f.adapterInfoGet(records.data(), count * layout::kAdapterRecordSize)) {
        throw grx_runtime_error(result);
    }
    std::vector<Adapter> adapters;
    adapters.reserve(static_cast<std::size_t>(count));
    constexpr std::size_t kNameCapacity = layout::kAdapterRecordSize - layout::kAdapterNameOffset;
    for (vqx::int32 i = 0; i < count; ++i) {
        const vqx::uint8* record = records.data() + static_cast<std::size_t>(i) * layout::kAdapterRecordSize;
        adapters.push_back({ReadInt32(record, layout::kAdapterIndexOffset),
                            WidenSigned(record + layout::kAdapterNameOffset, kNameCapacity)});
    }
    return adapters;
}

// The adapter's display records; false when the query fails (that adapter is skipped, and
// whatever the failed call left in the array pointer is not trusted, so not freed).
bool QueryDisplays(const GRXFunctions& f, vqx::int32 adapter_index, DisplayArray& array, vqx::int32& count) {
    vqx::uint8* records = nullptr;
    count = 0;
    if (f.displayInfoGet(adapter_index, &count, &records, 0) != 0) return false;
    array.Reset(records);
    if (records == nullptr || count < 0) count = 0;
    return true;
}

std::shared_ptr<RemoteDisplay> AcquireOnAdapter(const Adapter& adapter, const vqx::uint8* records, vqx::int32 count) {
    for (vqx::int32 i = 0; i < count; ++i) {
        const vqx::uint8* record = records + static_cast<std::size_t>(i) * layout::kDisplayRecordSize;
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
        vqx::int32 count = 0;
        if (!QueryDisplays(*f, adapter.index, displays, count)) continue;
        if (!name.empty() && name != adapter.name) continue;
        if (auto display = AcquireOnAdapter(adapter, displays.Get(), count)) return display;
    }
    throw grx_runtime_error(kBindingFailure);
}

}  // namespace grx
