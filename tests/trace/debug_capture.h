// Test helper: collects the texts passed to OutputDebugStringW in this process while it lives.
// OutputDebugStringW raises a debug-print exception (the wide one, or under Wine 8 the narrow one
// with the text in the ANSI code page); a first vectored handler takes the text and continues.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

class DebugOutputCapture {
public:
    DebugOutputCapture() : m_handler(AddVectoredExceptionHandler(1, &DebugOutputCapture::Handler)) { s_active = this; }
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

private:
    static constexpr DWORD kWidePrint = 0x4001000A;    // DBG_PRINTEXCEPTION_WIDE_C
    static constexpr DWORD kNarrowPrint = 0x40010006;  // DBG_PRINTEXCEPTION_C

    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        const DWORD code = record->ExceptionCode;
        if ((code != kWidePrint && code != kNarrowPrint) || record->NumberParameters < 2)
            return EXCEPTION_CONTINUE_SEARCH;
        const void* text = reinterpret_cast<const void*>(record->ExceptionInformation[1]);
        if (DebugOutputCapture* capture = s_active) {
            std::lock_guard<std::mutex> guard(capture->m_mutex);
            capture->m_texts.push_back(code == kWidePrint ? std::wstring(static_cast<const wchar_t*>(text))
                                                          : AnsiText(static_cast<const char*>(text)));
        }
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static std::wstring AnsiText(const char* text) {
        const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        if (length <= 0) return L"";
        std::wstring wide(static_cast<size_t>(length), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
        wide.resize(static_cast<size_t>(length - 1));
        return wide;
    }

    static inline DebugOutputCapture* s_active = nullptr;
    PVOID m_handler;
    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_texts;
};
