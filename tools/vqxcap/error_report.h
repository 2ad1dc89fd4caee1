// Turns a failed operation into the message and exit code vqxcap reports.
// Thread rules: pure functions.
#pragma once

#include <vqx/error.h>

#include <string>

namespace vqxcap {

// Process exit codes; each says what failed.
enum ExitCode : int {
    kExitOk = 0,
    kExitInternal = 1,
    kExitUsage = 2,
    kExitPropertyRefused = 3,
    kExitDisplayFailed = 4,
    kExitEncoderFailed = 5,
    kExitQueryFailed = 6,
    kExitOutputFailed = 7,
};

// "NAME (text)" for a result code: the library's text, and the encoder's own names for 301-304.
std::wstring DescribeResult(vqx::VQX_ERROR code);

// "vqxcap: <operation> failed: error <code> NAME (text)".
std::wstring FailureMessage(const std::wstring& operation, vqx::VQX_ERROR code);

}  // namespace vqxcap
