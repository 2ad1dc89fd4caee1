// vqxcap: captures the remote display into an H.264 Annex-B file through vqx.dll.
#include "capture_loop.h"
#include "error_report.h"
#include "options.h"
#include "property_report.h"

#include <vqx/vqx.h>

#include <cstdio>
#include <io.h>
#include <windows.h>

namespace {

// Writes wide text as UTF-8 to a C stream.
void Print(std::FILE* stream, const std::wstring& text) {
    const vqx::vqx_string utf8 = vqx::vqx_from_unicode_to_utf8(vqx::vqx_wstring(text.c_str()));
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

int Usage(const std::wstring& error) {
    Print(stderr, L"vqxcap: " + error + L"\n\n");
    Print(stderr, vqxcap::UsageText());
    return vqxcap::kExitUsage;
}

void ConfigureTrace(const vqxcap::Options& options) {
    if (options.traceLevel) vqxTraceSetLevel(*options.traceLevel);
    // Trace lines on the console would corrupt a stream written to standard output.
    if (options.outputPath == L"-") vqxTraceDisableConsole();
    if (!options.logPath.empty() && !vqxTraceSetFilePath(options.logPath.c_str())) {
        Print(stderr, L"vqxcap: warning: cannot open the log file " + options.logPath + L"\n");
    }
}

int ListProperties(const vqxcap::Options& options) {
    Print(stdout, vqxcap::FormatPropertyReport(vqxcap::BuildPropertyReport(options.settings)));
    return vqxcap::kExitOk;
}

int ShowCapabilities() {
    std::wstring failure;
    const std::wstring text = vqxcap::FormatCapabilities(failure);
    if (!failure.empty()) {
        Print(stderr, failure + L"\n");
        return vqxcap::kExitEncoderFailed;
    }
    Print(stdout, text);
    return vqxcap::kExitOk;
}

int Capture(const vqxcap::Options& options) {
    const bool showProgress = options.progress && _isatty(_fileno(stderr));
    const vqxcap::CaptureOutcome outcome = vqxcap::RunCapture(options, showProgress);
    if (outcome.exitCode != vqxcap::kExitOk) {
        Print(stderr, outcome.message + L"\n");
        return outcome.exitCode;
    }
    Print(stderr, std::wstring(outcome.interrupted ? L"interrupted: " : L"done: ") +
                      vqxcap::FormatProgress(outcome.stats) + L", " + std::to_wstring(outcome.stats.bytes) +
                      L" bytes\n");
    return vqxcap::kExitOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    const vqxcap::ParseResult parsed = vqxcap::ParseArguments(args);
    if (!parsed.options) return Usage(parsed.error);
    const vqxcap::Options& options = *parsed.options;
    ConfigureTrace(options);
    switch (options.mode) {
        case vqxcap::Mode::Help:
            Print(stdout, vqxcap::UsageText());
            return vqxcap::kExitOk;
        case vqxcap::Mode::ListProperties:
            return ListProperties(options);
        case vqxcap::Mode::Caps:
            return ShowCapabilities();
        case vqxcap::Mode::Capture:
            return Capture(options);
    }
    return vqxcap::kExitInternal;
}
