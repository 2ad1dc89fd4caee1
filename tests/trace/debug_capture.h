// Test helper: collects the texts passed to OutputDebugStringW in this process while it lives.
// OutputDebugStringW raises a debug-print exception before it returns: DBG_PRINTEXCEPTION_WIDE_C
// with the wide text where the platform has it (when handled, no narrow one follows), otherwise
// DBG_PRINTEXCEPTION_C with the text converted to the ANSI code page (Wine 8). A first vectored
// handler takes the text and lets execution continue. One capture at a time; any thread may print.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

class DebugOutputCapture {
public:
    DebugOutputCapture() {
        s_active = this;
        m_handler = AddVectoredExceptionHandler(1, &DebugOutputCapture::Handler);
    }
    ~DebugOutputCapture() {
        RemoveVectoredExceptionHandler(m_handler);
        s_active = nullptr;
    }
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    std::vector<std::wstring> Texts() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_texts;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_texts.clear();
    }

private:
    static constexpr DWORD kWidePrint = 0x4001000A;   // DBG_PRINTEXCEPTION_WIDE_C
    static constexpr DWORD kNarrowPrint = 0x40010006;  // DBG_PRINTEXCEPTION_C

    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        const DWORD code = record->ExceptionCode;
        if ((code != kWidePrint && code != kNarrowPrint) || record->NumberParameters < 2) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        const std::wstring text = code == kWidePrint
                                      ? WideText(reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]))
                                      : AnsiText(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
        if (DebugOutputCapture* capture = s_active) {
            std::lock_guard<std::mutex> guard(capture->m_mutex);
            capture->m_texts.push_back(text);
        }
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static std::wstring WideText(const wchar_t* text) { return text != nullptr ? text : L""; }
    static std::wstring AnsiText(const char* text) {
        if (text == nullptr) return L"";
        const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        if (length <= 0) return L"";
        std::wstring wide(static_cast<size_t>(length), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
        wide.resize(static_cast<size_t>(length - 1));
        return wide;
    }

    static inline DebugOutputCapture* s_active = nullptr;
    PVOID m_handler = nullptr;
    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_texts;
};
