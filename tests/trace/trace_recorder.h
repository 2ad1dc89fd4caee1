// Test helper: a host trace output that records what it receives (of one facility only, when
// given one), registered for its lifetime; and a guard that keeps the console output quiet while
// it lives. Shared by the tests of every layer that traces.
#pragma once

#include <vqx/trace.h>

#include <mutex>
#include <string>
#include <vector>

class TraceRecorder : public vqx::VQXTraceListener {
public:
    struct Entry {
        std::wstring facility, message;
    };

    explicit TraceRecorder(std::wstring facility = std::wstring()) : m_facility(std::move(facility)) {
        vqx::VQXRegisterTraceListener(this);
    }
    ~TraceRecorder() override { vqx::VQXUnregisterTraceListener(this); }
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    void Write(const wchar_t* facility, const wchar_t* message) override {
        const std::wstring from = facility != nullptr ? facility : L"";
        if (!m_facility.empty() && from != m_facility) return;
        std::lock_guard<std::mutex> guard(m_mutex);
        m_entries.push_back({from, message != nullptr ? message : L""});
    }
    std::vector<Entry> Entries() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_entries;
    }
    std::vector<std::wstring> Messages() const {
        std::vector<std::wstring> messages;
        for (const Entry& entry : Entries())
            messages.push_back(entry.message);
        return messages;
    }
    // "facility : message" for each entry, as the log file writes them.
    std::vector<std::wstring> Lines() const {
        std::vector<std::wstring> lines;
        for (const Entry& entry : Entries())
            lines.push_back(entry.facility + L" : " + entry.message);
        return lines;
    }

private:
    const std::wstring m_facility;
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
};

struct QuietConsole {
    QuietConsole() : wasEnabled(vqxTraceDisableConsole()) {}
    ~QuietConsole() {
        if (wasEnabled) vqxTraceEnableConsole();
    }
    const bool wasEnabled;
};
