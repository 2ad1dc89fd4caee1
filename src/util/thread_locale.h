// Switching the calling thread to per-thread locale mode through the C runtime itself.
// The MinGW import library replaces _configthreadlocale with a stub that never switches, so the
// runtime's export is looked up in the loaded msvcrt.dll; where the runtime lacks it (older
// systems, Wine), the switch is skipped and the thread keeps following the global locale.
// Thread rules: callable from any thread; affects only the calling thread.
#pragma once

namespace vqx::thread_locale {

// Calls the runtime's _configthreadlocale(_ENABLE_PER_THREAD_LOCALE) when it exists.
void EnablePerThreadLocale();

// White-box seam: replaces the runtime's function (null restores it). Returns the previous one.
using ConfigThreadLocaleFn = int(__cdecl*)(int);
ConfigThreadLocaleFn ReplaceConfigThreadLocaleForTesting(ConfigThreadLocaleFn replacement);

}  // namespace vqx::thread_locale
