// A remote (wireless) display acquired through the display library, and the search that finds
// and acquires one. Failures surface as grx::grx_runtime_error.
// Ownership: a RemoteDisplay is held by a shared pointer; destroying it releases the display,
// then closes its marker mutex. Thread rules: no lock; a display is used from the thread that
// drives its one holder. AcquireRemoteDisplay may be called from any thread.
#pragma once

#include "abi/grx_records.h"

#include <vqx/platform.h>
#include <vqx/sync.h>

#include <memory>
#include <string>

namespace grx {

// The named mutex that marks, across processes, that some process holds an acquisition.
extern const wchar_t kAcquisitionMarkerName[];

struct DisplayTiming {
    vqx::int32 width;
    vqx::int32 height;
    vqx::int32 numerator;  // frame rate = numerator / denominator
    vqx::int32 denominator;
};

class RemoteDisplay {
public:
    // Unacquired: handle 0, no marker. Only AcquireRemoteDisplay creates these.
    RemoteDisplay(vqx::int32 adapter_index, const DisplayId& id, std::wstring name);
    // Releases the display when acquired (result ignored), then closes the marker.
    ~RemoteDisplay();
    RemoteDisplay(const RemoteDisplay&) = delete;
    RemoteDisplay& operator=(const RemoteDisplay&) = delete;

    // True when this display is now acquired (and the marker is created, owned by this thread).
    // A refused acquisition leaves the handle 0. When refused and no process holds the marker,
    // the earlier acquisition is taken as stale: release everything, then acquire once more.
    bool TryAcquire();

    // Width, height and frame rate of the acquired display. Up to 20 attempts; after each
    // unusable answer sleeps 100, 200, ... 2000 ms. Throws grx_runtime_error with the last
    // non-zero result, or -1 when the last answer had a zero usability field.
    DisplayTiming GetTargetTiming() const;

    vqx::int32 AdapterIndex() const { return m_adapterIndex; }
    const DisplayId& Id() const { return m_id; }
    const std::wstring& Name() const { return m_name; }
    vqx::int32 Handle() const { return m_handle; }
    // The marker mutex: null before TryAcquire; after a refusal, the opened one (may have no handle).
    const vqx::VQXMutex* Marker() const { return m_mutex.get(); }

private:
    std::unique_ptr<vqx::VQXMutex> m_mutex;
    vqx::int32 m_adapterIndex;
    DisplayId m_id;
    std::wstring m_name;
    vqx::int32 m_handle = 0;
};

// Binds the display library if needed and acquires the first display, in adapter and display
// order, whose kind is 17; an empty name accepts any adapter, another one only adapters whose
// display name equals it exactly. Throws grx_runtime_error: the adapter calls' non-zero result,
// or -1 (not bound, no adapters, nothing acquired). Nothing stays acquired after a throw.
std::shared_ptr<RemoteDisplay> AcquireRemoteDisplay(const std::wstring& name = std::wstring());

namespace detail {
// The sleep between timing attempts (Sleep by default). Tests may replace it; returns the
// previous one. Not to be changed while a timing query runs.
using SleepFunction = void (*)(vqx::uint32 milliseconds);
SleepFunction SetTimingSleep(SleepFunction sleep);
}  // namespace detail

}  // namespace grx
