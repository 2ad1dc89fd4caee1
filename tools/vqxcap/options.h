// Command-line options of vqxcap and their parsing.
// Ownership: plain values. Thread rules: none (parsed once on the main thread).
#pragma once

#include "destination.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vqxcap {

enum class Mode { Capture, ListProperties, Caps, Help };

struct PropertyAssignment {
    std::wstring name;
    std::wstring value;  // converted by the encoder's own rules when set
};

struct Options {
    Mode mode = Mode::Capture;
    std::wstring outputPath;                   // "-" is standard output
    std::wstring format;                       // --format: the container, instead of the guess
    std::wstring sdpPath;                      // --sdp: session description file of an RTP stream
    Destination destination;                   // where the capture goes (from the three above)
    std::optional<uint64_t> frames;            // stop after this many pictures
    std::optional<double> seconds;             // or after this much wall-clock time
    std::vector<PropertyAssignment> settings;  // in command-line order
    std::optional<int32_t> traceLevel;
    std::wstring logPath;
    bool progress = true;  // shown only when stderr is a terminal
};

struct ParseResult {
    std::optional<Options> options;  // empty on error
    std::wstring error;              // what was wrong, for the usage message
};

ParseResult ParseArguments(const std::vector<std::wstring>& args);

// The usage text printed by --help and after a bad option.
const wchar_t* UsageText();

}  // namespace vqxcap
