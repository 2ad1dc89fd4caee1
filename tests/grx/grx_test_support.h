// Helpers of the display-binding tests. standin_client.cpp (usable without vqx): the stand-in's
// test controls, scoped environment settings, the program's folder. grx_test_support.cpp: the
// marker mutex seen from outside, a second process that holds or probes it.
// Ownership: each helper owns what it opens. Thread rules: test thread only.
#pragma once

#include "grxapixx_test.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vqx::test {

// The stand-in grxapixx.dll as found on PATH, held loaded for the object's lifetime.
class StandIn {
public:
    StandIn();
    ~StandIn();
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    bool Loaded() const { return m_module != nullptr; }
    HMODULE Module() const { return m_module; }
    void Reset() const;
    GRXTestRecord Record() const;
    std::vector<uint8_t> LastAcquireRecord() const;
    std::vector<uint8_t> DisplayRecord(int adapter_position, int display_position) const;

private:
    template <class Function>
    Function Export(const char* name) const;

    HMODULE m_module;
};

// Sets (or, with a null value, removes) an environment variable; restores it on destruction.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const wchar_t* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::wstring m_name;
    std::optional<std::wstring> m_previous;
};

// Removes every GRXAPIXX_ setting of the stand-in for the scope.
class CleanStandInSettings {
public:
    CleanStandInSettings();

private:
    std::vector<std::unique_ptr<ScopedEnv>> m_cleared;
};

// The directory of the running test program, with a trailing backslash.
std::wstring ProgramDirectory();

// True when a mutex of the marker's name exists (some handle to it is open).
bool MarkerExists();

// Exit code of "grx_marker_holder probe": 1 when another process sees the marker.
DWORD ProbeMarkerFromAnotherProcess();

// A second process that creates the marker mutex and holds it until Stop() ends the process.
class MarkerHolderProcess {
public:
    MarkerHolderProcess();
    ~MarkerHolderProcess() { Stop(); }
    MarkerHolderProcess(const MarkerHolderProcess&) = delete;
    MarkerHolderProcess& operator=(const MarkerHolderProcess&) = delete;

    bool Ready() const { return m_ready; }
    void Stop();

private:
    HANDLE m_process = nullptr;
    bool m_ready = false;
};

}  // namespace vqx::test
