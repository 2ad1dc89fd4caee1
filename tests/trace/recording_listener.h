// Test helper: a host trace output that records what it receives, registered for its lifetime.
#pragma once

#include <vqx/trace.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

class RecordingListener : public vqx::VQXTraceListener {
public:
    struct Entry {
        std::wstring facility;
        std::wstring message;
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
    void Clear() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_entries.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
};

// Silences the console and debugger outputs' side effects on the test's own output while alive.
class QuietConsole {
public:
    QuietConsole() : m_wasEnabled(vqxTraceDisableConsole()) {}
    ~QuietConsole() {
        if (m_wasEnabled) vqxTraceEnableConsole();
    }
    QuietConsole(const QuietConsole&) = delete;
    QuietConsole& operator=(const QuietConsole&) = delete;

private:
    bool m_wasEnabled;
};
