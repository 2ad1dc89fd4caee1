// Test helper: a host trace output that records what it receives, registered for its lifetime;
// and a guard that keeps the console output quiet while it lives.
#pragma once

#include <vqx/trace.h>

#include <mutex>
#include <string>
#include <vector>

class RecordingListener : public vqx::VQXTraceListener {
public:
    struct Entry {
        std::wstring facility, message;
    };

    RecordingListener() { vqx::VQXRegisterTraceListener(this); }
    ~RecordingListener() override { vqx::VQXUnregisterTraceListener(this); }

    void Write(const wchar_t* facility, const wchar_t* message) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_entries.push_back({facility, message});
    }
    std::vector<Entry> Entries() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_entries;
    }
    std::vector<std::wstring> Messages() const {
        std::vector<std::wstring> messages;
        for (const Entry& entry : Entries()) messages.push_back(entry.message);
        return messages;
    }

private:
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
