// --list-properties and --caps: what the encoder says about its properties, learned only through
// its public interface (descriptions, and how ValidateProperty answers in each state and usage).
// Thread rules: main thread only.
#pragma once

#include "options.h"

#include <string>
#include <vector>

namespace vqxcap {

struct PropertyRow {
    std::wstring name;
    std::wstring type;
    std::wstring defaultValue, minValue, maxValue;  // as described before any display is known
    std::wstring settable;                          // when a caller may set it
    std::wstring usages;                            // usages under which it may be set
    std::wstring displayValue;                      // value once the encoder is created ("" if no display)
    std::wstring displayRange;                      // "[min..max]" then, when it differs
};

struct PropertyReport {
    std::vector<PropertyRow> rows;
    bool displayKnown = false;
    std::wstring displayFailure;  // why no display values are shown
};

// Builds the report; `settings` are applied first (e.g. a usage), as for a capture.
PropertyReport BuildPropertyReport(const std::vector<PropertyAssignment>& settings);

// The report as a text table.
std::wstring FormatPropertyReport(const PropertyReport& report);

// "Generic Support: yes" lines for the three capability properties; empty on failure.
std::wstring FormatCapabilities(std::wstring& failure);

}  // namespace vqxcap
