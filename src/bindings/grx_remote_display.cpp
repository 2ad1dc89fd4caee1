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

constexpr std::int32_t kDelayStepMs = 100;
constexpr std::int32_t kLastDelayMs = 2000;

void SleepMilliseconds(std::uint32_t milliseconds) {
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

bool IsUsable(const std::array<std::uint8_t, layout::kTimingRecordSize>& record) {
    for (const int offset : layout::kTimingUsableFieldOffsets) {
        if (ReadInt32(record.data(), offset) == 0) return false;
    }
    return true;
}

DisplayTiming TimingFrom(const std::uint8_t* record) {
    const std::int32_t htotal = ReadInt16(record, layout::kTimingHTotalOffset);
    const std::int32_t vtotal = ReadInt16(record, layout::kTimingVTotalOffset);
    const std::int32_t pixel_clock = ReadInt16(record, layout::kTimingPixelClockOffset);
    return DisplayTiming{ReadInt16(record, layout::kTimingWidthOffset), ReadInt16(record, layout::kTimingHeightOffset),
                         pixel_clock * 10000, htotal * vtotal};
}

}  // namespace

namespace detail {
SleepFunction SetTimingSleep(SleepFunction sleep) {
    return g_timing_sleep.exchange(sleep != nullptr ? sleep : &SleepMilliseconds);
}
}  // namespace detail

RemoteDisplay::RemoteDisplay(std::int32_t adapter_index, const DisplayId& id, std::wstring name)
    : m_adapter_index(adapter_index), m_id(id), m_name(std::move(name)) {}

RemoteDisplay::~RemoteDisplay() {
    const GRXFunctions* functions = detail::BoundDisplayLibrary();
    if (m_handle != 0 && functions != nullptr) {
        functions->displayRelease(m_adapter_index, m_id, m_handle);
        m_handle = 0;
    }
    m_mutex.reset();
}

bool RemoteDisplay::TryAcquire() {
    const GRXFunctions& f = Bound();
    AcquireRecord record = BuildAcquireRecord();
    const bool acquired = f.displayAcquire(m_adapter_index, m_id, record.data(), &m_handle) == 0;
    if (acquired) {
        m_mutex = CreateOwnedMarker();
        return true;
    }
    m_handle = 0;
    m_mutex = OpenExistingMarker();
    if (m_mutex->Handle() != nullptr) return false;

    // Nobody holds the marker: whatever holds the display is stale.
    if (f.displayReleaseAll() != 0) return false;
    if (f.displayAcquire(m_adapter_index, m_id, record.data(), &m_handle) != 0) {
        m_handle = 0;
        return false;
    }
    m_mutex = CreateOwnedMarker();
    return true;
}

DisplayTiming RemoteDisplay::GetTargetTiming() const {
    const GRXFunctions& f = Bound();
    std::array<std::uint8_t, layout::kTimingRecordSize> record{};
    std::int32_t delay = 0;
    std::int32_t result = kBindingFailure;
    do {
        delay += kDelayStepMs;
        result = f.targetTimingGet(m_adapter_index, m_id, record.data());
        if (result == 0 && IsUsable(record)) break;
        g_timing_sleep.load()(static_cast<std::uint32_t>(delay));
        if (result == 0) result = kBindingFailure;
    } while (delay < kLastDelayMs);
    if (result != 0) throw grx_runtime_error(result);
    return TimingFrom(record.data());
}

}  // namespace grx
