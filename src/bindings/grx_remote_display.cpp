#include "bindings/grx_remote_display.h"

#include "bindings/grx_edid.h"
#include "bindings/grx_error.h"
#include "bindings/grx_library.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <utility>

namespace grx {

const wchar_t kAcquisitionMarkerName[] = L"A31DC0E2-65DA-434B-BBF3-0A9C71D4D1B5";

namespace {

constexpr vqx::int32 kDelayStepMs = 100;
constexpr vqx::int32 kLastDelayMs = 2000;

void SleepMilliseconds(vqx::uint32 milliseconds) {
    ::Sleep(milliseconds);
}

std::atomic<detail::SleepFunction> g_timing_sleep{&SleepMilliseconds};

// Entry points of the library bound by AcquireRemoteDisplay, which creates every display.
const GRXFunctions& Bound() {
    const GRXFunctions* functions = detail::BoundDisplayLibrary();
    if (functions == nullptr) throw grx_runtime_error(kBindingFailure);
    return *functions;
}

std::unique_ptr<vqx::VQXMutex> CreateOwnedMarker() {
    return std::make_unique<vqx::VQXMutex>(true, kAcquisitionMarkerName);
}

std::unique_ptr<vqx::VQXMutex> OpenExistingMarker() {
    return std::make_unique<vqx::VQXMutex>(false, kAcquisitionMarkerName, true);
}

bool IsUsable(const std::array<vqx::uint8, layout::kTimingRecordSize>& record) {
    for (const int offset : layout::kTimingUsableFieldOffsets) {
        if (ReadInt32(record.data(), offset) == 0) return false;
    }
    return true;
}

DisplayTiming TimingFrom(const vqx::uint8* record) {
    const vqx::int32 htotal = ReadInt16(record, layout::kTimingHTotalOffset);
    const vqx::int32 vtotal = ReadInt16(record, layout::kTimingVTotalOffset);
    const vqx::int32 pixel_clock = ReadInt16(record, layout::kTimingPixelClockOffset);
    return DisplayTiming{ReadInt16(record, layout::kTimingWidthOffset), ReadInt16(record, layout::kTimingHeightOffset),
                         pixel_clock * 10000, htotal * vtotal};
}

}  // namespace

namespace detail {
SleepFunction SetTimingSleep(SleepFunction sleep) {
    return g_timing_sleep.exchange(sleep != nullptr ? sleep : &SleepMilliseconds);
}
}  // namespace detail

RemoteDisplay::RemoteDisplay(vqx::int32 adapter_index, const DisplayId& id, std::wstring name)
    : m_adapterIndex(adapter_index), m_id(id), m_name(std::move(name)) {}

RemoteDisplay::~RemoteDisplay() {
    const GRXFunctions* functions = detail::BoundDisplayLibrary();
    if (m_handle != 0 && functions != nullptr) {
        functions->displayRelease(m_adapterIndex, m_id, m_handle);
        m_handle = 0;
    }
    m_mutex.reset();
}

bool RemoteDisplay::TryAcquire() {
    const GRXFunctions& f = Bound();
    AcquireRecord record = BuildAcquireRecord();
    const bool acquired = f.displayAcquire(m_adapterIndex, m_id, record.data(), &m_handle) == 0;
    if (acquired) {
        m_mutex = CreateOwnedMarker();
        return true;
    }
    m_handle = 0;
    m_mutex = OpenExistingMarker();
    if (m_mutex->Handle() != nullptr) return false;

    // Nobody holds the marker: whatever holds the display is stale.
    if (f.displayReleaseAll() != 0) return false;
    if (f.displayAcquire(m_adapterIndex, m_id, record.data(), &m_handle) != 0) {
        m_handle = 0;
        return false;
    }
    m_mutex = CreateOwnedMarker();
    return true;
}

DisplayTiming RemoteDisplay::GetTargetTiming() const {
    const GRXFunctions& f = Bound();
    std::array<vqx::uint8, layout::kTimingRecordSize> record{};
    vqx::int32 delay = 0;
    vqx::int32 result = kBindingFailure;
    do {
        delay += kDelayStepMs;
        result = f.targetTimingGet(m_adapterIndex, m_id, record.data());
        if (result == 0 && IsUsable(record)) break;
        g_timing_sleep.load()(static_cast<vqx::uint32>(delay));
        if (result == 0) result = kBindingFailure;
    } while (delay < kLastDelayMs);
    if (result != 0) throw grx_runtime_error(result);
    return TimingFrom(record.data());
}

}  // namespace grx
