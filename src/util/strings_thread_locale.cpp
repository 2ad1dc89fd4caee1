// Per-thread locale switch of the UTF-8 converters, through the C runtime's own export.
#include "util/thread_locale.h"

#include <windows.h>

#include <atomic>
#include <locale.h>

namespace vqx::thread_locale {
namespace {

ConfigThreadLocaleFn RuntimeConfigThreadLocale() {
    static const ConfigThreadLocaleFn resolved = [] {
        const HMODULE runtime = GetModuleHandleW(L"msvcrt.dll");
        if (runtime == nullptr) return ConfigThreadLocaleFn{nullptr};
        return reinterpret_cast<ConfigThreadLocaleFn>(
            reinterpret_cast<void*>(GetProcAddress(runtime, "_configthreadlocale")));
    }();
    return resolved;
}

std::atomic<ConfigThreadLocaleFn> g_replacement{nullptr};

}  // namespace

void EnablePerThreadLocale() {
    ConfigThreadLocaleFn configure = g_replacement.load();
    if (configure == nullptr) configure = RuntimeConfigThreadLocale();
    if (configure != nullptr) configure(_ENABLE_PER_THREAD_LOCALE);
}

ConfigThreadLocaleFn ReplaceConfigThreadLocaleForTesting(ConfigThreadLocaleFn replacement) {
    return g_replacement.exchange(replacement);
}

}  // namespace vqx::thread_locale
