// The capture: configure, acquire, create, start, pull outputs into the stream, take down.
// Thread rules: runs on the main thread; Ctrl+C arrives on a system thread and only cancels.
#pragma once

#include "options.h"
#include "progress.h"

#include <string>

namespace vqxcap {

struct CaptureOutcome {
    int exitCode = 0;
    std::wstring message;  // the failure, or empty
    CaptureStats stats;
    bool interrupted = false;
};

CaptureOutcome RunCapture(const Options& options, bool showProgress);

}  // namespace vqxcap
