#include "property_report.h"

#include "encoder_session.h"
#include "error_report.h"
#include "property_settings.h"
#include "variant_text.h"

#include <algorithm>
#include <map>

namespace vqxcap {
namespace {

struct UsageProbe {
    const wchar_t* value;  // the "Usage" value
    const wchar_t* label;
};
const UsageProbe kUsages[] = {{L"1", L"generic"}, {L"2", L"wireless"}, {L"4", L"low-latency"}};

const wchar_t* const kCapabilities[] = {L"Generic Support", L"Wireless Display Support", L"Low Latency Support"};

const vqx::VQXPropertyInfo* InfoAt(vqx::VQXEncoderKLTZEP& encoder, vqx::uint32 index) {
    const vqx::VQXPropertyInfo* info = nullptr;
    return encoder.GetPropertyInfo(index, &info) == vqx::VQX_OK ? info : nullptr;
}

vqx::VQX_ERROR Probe(vqx::VQXEncoderKLTZEP& encoder, const vqx::VQXPropertyInfo& info) {
    vqx::VQXVariant validated;
    return encoder.ValidateProperty(info.name, info.defaultValue, &validated);
}

// When a caller may set the property, from the answer before any display is acquired.
std::wstring Settable(vqx::VQX_ERROR idleAnswer, bool allowChange) {
    if (idleAnswer == vqx::VQX_ZEP_PROPERTY_READ_ONLY) return L"never";
    if (idleAnswer == vqx::VQX_NOT_INITIALIZED) return L"after create";
    return allowChange ? L"any time" : L"before create";
}

void AppendUsage(std::wstring& usages, const wchar_t* label) {
    if (!usages.empty()) usages += L",";
    usages += label;
}

// For each usage, a fresh encoder set to it answers which properties it accepts: the ones
// settable before creation are asked while idle, the ones settable only afterwards once the
// encoder is created (when a display can be had).
void ProbeUsages(std::vector<PropertyRow>& rows, const std::vector<vqx::VQX_ERROR>& idleAnswers) {
    std::vector<std::wstring> supported(rows.size());
    std::vector<bool> known(rows.size(), true);
    for (const UsageProbe& usage : kUsages) {
        EncoderSession session;
        vqx::VQXEncoderKLTZEP& encoder = *session.Encoder();
        SetPropertyFromText(encoder, {L"Usage", usage.value});
        auto probeRows = [&](bool afterCreate) {
            for (size_t i = 0; i < rows.size(); ++i) {
                const vqx::VQXPropertyInfo* info = InfoAt(encoder, static_cast<vqx::uint32>(i));
                if (info == nullptr || idleAnswers[i] == vqx::VQX_ZEP_PROPERTY_READ_ONLY) continue;
                if ((idleAnswers[i] == vqx::VQX_NOT_INITIALIZED) != afterCreate) continue;
                if (Probe(encoder, *info) != vqx::VQX_WRONG_STATE) AppendUsage(supported[i], usage.label);
            }
        };
        probeRows(false);
        StepFailure failure;
        if (session.AcquireDisplay(failure) && session.CreateEncoder(failure)) {
            probeRows(true);
        } else {
            for (size_t i = 0; i < rows.size(); ++i) {
                if (idleAnswers[i] == vqx::VQX_NOT_INITIALIZED) known[i] = false;
            }
        }
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].settable == L"never")
            rows[i].usages = L"-";
        else
            rows[i].usages = known[i] ? (supported[i].empty() ? L"none" : supported[i]) : L"?";
    }
}

std::wstring Range(const vqx::VQXPropertyInfo& info) {
    if (info.minValue.type == vqx::VQX_VARIANT_EMPTY && info.maxValue.type == vqx::VQX_VARIANT_EMPTY) return L"";
    return L"[" + VariantText(info.minValue) + L".." + VariantText(info.maxValue) + L"]";
}

void ReadDisplayValues(PropertyReport& report, const std::vector<PropertyAssignment>& settings) {
    EncoderSession session;
    vqx::VQXEncoderKLTZEP& encoder = *session.Encoder();
    PropertySettings pending(settings);
    StepFailure failure;
    if (!pending.ApplyBeforeCreate(encoder, failure) || !session.AcquireDisplay(failure) ||
        !session.CreateEncoder(failure) || !pending.ApplyAfterCreate(encoder, failure)) {
        report.displayFailure = FailureMessage(failure.operation, failure.code);
        return;
    }
    report.displayKnown = true;
    for (size_t i = 0; i < report.rows.size(); ++i) {
        const vqx::VQXPropertyInfo* info = InfoAt(encoder, static_cast<vqx::uint32>(i));
        if (info == nullptr) continue;
        vqx::VQXVariant value;
        const vqx::VQX_ERROR result = encoder.GetProperty(info->name, &value);
        report.rows[i].displayValue = result == vqx::VQX_OK ? VariantText(value) : L"(" + DescribeResult(result) + L")";
        const std::wstring range = Range(*info);
        const std::wstring idleRange = report.rows[i].minValue.empty() && report.rows[i].maxValue.empty()
                                           ? L""
                                           : L"[" + report.rows[i].minValue + L".." + report.rows[i].maxValue + L"]";
        if (range != idleRange) report.rows[i].displayRange = range;
    }
}

std::wstring Pad(const std::wstring& text, size_t width) {
    return text.size() >= width ? text : text + std::wstring(width - text.size(), L' ');
}

}  // namespace

PropertyReport BuildPropertyReport(const std::vector<PropertyAssignment>& settings) {
    PropertyReport report;
    EncoderSession session;
    vqx::VQXEncoderKLTZEP& encoder = *session.Encoder();
    std::vector<vqx::VQX_ERROR> idleAnswers;
    const vqx::uint32 count = encoder.GetPropertiesInfoCount();
    for (vqx::uint32 i = 0; i < count; ++i) {
        const vqx::VQXPropertyInfo* info = InfoAt(encoder, i);
        if (info == nullptr) break;
        PropertyRow row;
        row.name = info->name;
        row.type = VariantTypeName(info->type);
        row.defaultValue = VariantText(info->defaultValue);
        row.minValue = VariantText(info->minValue);
        row.maxValue = VariantText(info->maxValue);
        idleAnswers.push_back(Probe(encoder, *info));
        row.settable = Settable(idleAnswers.back(), info->allowChange);
        report.rows.push_back(row);
    }
    ProbeUsages(report.rows, idleAnswers);
    ReadDisplayValues(report, settings);
    return report;
}

std::wstring FormatPropertyReport(const PropertyReport& report) {
    const std::vector<std::wstring> header = {L"NAME", L"TYPE",     L"DEFAULT", L"MIN",
                                              L"MAX",  L"SETTABLE", L"USAGES",  L"FOR DISPLAY"};
    std::vector<std::vector<std::wstring>> cells;
    for (const PropertyRow& row : report.rows) {
        std::wstring display = row.displayValue;
        if (!row.displayRange.empty()) display += L" " + row.displayRange;
        cells.push_back(
            {row.name, row.type, row.defaultValue, row.minValue, row.maxValue, row.settable, row.usages, display});
    }
    std::vector<size_t> widths(header.size());
    for (size_t c = 0; c < header.size(); ++c) {
        widths[c] = header[c].size();
        for (const auto& line : cells)
            widths[c] = std::max(widths[c], line[c].size());
    }
    auto formatLine = [&](const std::vector<std::wstring>& line) {
        std::wstring text;
        for (size_t c = 0; c < line.size(); ++c)
            text += c + 1 < line.size() ? Pad(line[c], widths[c] + 2) : line[c];
        while (!text.empty() && text.back() == L' ')
            text.pop_back();
        return text + L"\n";
    };
    std::wstring text = formatLine(header);
    for (const auto& line : cells)
        text += formatLine(line);
    if (!report.displayKnown) {
        text += L"\n(no display values: " + report.displayFailure + L")\n";
    }
    return text;
}

std::wstring FormatCapabilities(std::wstring& failure) {
    EncoderSession session;
    std::wstring text;
    for (const wchar_t* name : kCapabilities) {
        vqx::VQXVariant value;
        const vqx::VQX_ERROR result = session.Encoder()->GetProperty(name, &value);
        if (result != vqx::VQX_OK) {
            failure = FailureMessage(L"reading \"" + std::wstring(name) + L"\"", result);
            return L"";
        }
        text += std::wstring(name) + L": " + (value.type == vqx::VQX_VARIANT_BOOL && value.boolValue ? L"yes" : L"no") +
                L"\n";
    }
    return text;
}

}  // namespace vqxcap
