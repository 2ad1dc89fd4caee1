#include "encoder/property_set.h"

#include <cstring>

namespace vqx {

namespace {

using zep::ZEPConfig;
using zep::ZEPCreateParams;

constexpr uint32 kAll = PropertySet::kUsageGeneric | PropertySet::kUsageWirelessDisplay | PropertySet::kUsageLowLatency;
constexpr uint32 kGeneric = PropertySet::kUsageGeneric;
constexpr uint32 kGenericLowLatency = PropertySet::kUsageGeneric | PropertySet::kUsageLowLatency;

// Usage property values with the creation record's usage codes.
struct UsagePair {
    uint32 value;
    uint32 code;
};
constexpr UsagePair kUsages[] = {
    {PropertySet::kUsageGeneric, zep::kUsageCodeGeneric},
    {PropertySet::kUsageWirelessDisplay, zep::kUsageCodeWirelessDisplay},
    {PropertySet::kUsageLowLatency, zep::kUsageCodeLowLatency},
};

// Integer properties use the low 32 bits of the value as an unsigned number.
uint32 U32(const VQXVariant& value) {
    return static_cast<uint32>(value.ToInt64());
}
uint32 Flag(const VQXVariant& value) {
    return value.ToBool() ? 1u : 0u;
}

void SetChanged(PropertySet& set, uint32 changeBit) {
    set.Config().changeMask |= changeBit;
}

// --- appliers -----------------------------------------------------------------------------------

void IgnoreValue(PropertySet&, const VQXVariant&, bool) {}

// Width, height and numerator come only from the display; the defaults pass leaves them alone.
template <uint32 ZEPCreateParams::*Field>
void StoreFormatField(PropertySet& set, const VQXVariant& value, bool initial) {
    if (initial) return;
    set.CreateParams().*Field = U32(value);
    set.RecomputeFromFormat();
}

// The denominator runs in the defaults pass too (it derives the construction-time defaults).
void StoreFpsDenominator(PropertySet& set, const VQXVariant& value, bool) {
    set.CreateParams().fpsDenominator = U32(value);
    set.RecomputeFromFormat();
}

// Wireless display codes Baseline only (the profile is forced); the others allow up to High.
// Any value but the wireless-display and low-latency ones (1, 3 and any other) means generic.
void StoreUsage(PropertySet& set, const VQXVariant& value, bool) {
    const uint32 usage = U32(value);
    uint32 code = zep::kUsageCodeGeneric;
    for (const UsagePair& pair : kUsages) {
        if (pair.value == usage) code = pair.code;
    }
    set.CreateParams().usage = code;
    const bool baselineOnly = code == zep::kUsageCodeWirelessDisplay;
    if (baselineOnly) set.CreateParams().profile = zep::kProfileIdcBaseline;
    VQXPropertyInfoImpl* profile = set.FindPropertyInfo(property_name::kProfile);
    if (profile != nullptr) {
        VQXVariantAssignInt64(&profile->maxValue, baselineOnly ? zep::kProfileIdcBaseline : zep::kProfileIdcHigh);
    }
}

void StoreProfile(PropertySet& set, const VQXVariant& value, bool) {
    set.CreateParams().profile = U32(value);
}

void StoreOutputType(PropertySet& set, const VQXVariant& value, bool) {
    set.CreateParams().outputType = U32(value) + 1;  // 0..3 -> 1..4
}

void StoreFeedbacks(PropertySet& set, const VQXVariant& value, bool) {
    set.CreateParams().feedbacks = U32(value);
    set.CreateParams().optionalFieldMask |= zep::kCreateFeedbacksValid;
}

void StoreInsertAud(PropertySet& set, const VQXVariant& value, bool) {
    set.CreateParams().insertAud = Flag(value);
    set.CreateParams().optionalFieldMask |= zep::kCreateAudValid;
}

// Always-valid configuration fields (no mask bit).
template <uint32 ZEPConfig::*Field>
void StoreConfigField(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().*Field = U32(value);
}

// Optional configuration fields: the value and its change-mask bit.
template <uint32 ZEPConfig::*Field, uint32 ChangeBit>
void StoreMasked(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().*Field = U32(value);
    SetChanged(set, ChangeBit);
}

template <uint32 ZEPConfig::*Field, uint32 ChangeBit>
void StoreMaskedFlag(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().*Field = Flag(value);
    SetChanged(set, ChangeBit);
}

void StoreRateControl(PropertySet& set, const VQXVariant& value, bool) {
    // By property value: CBR, VBR, capped quality, constant QP; an unlisted value maps like 0.
    static constexpr uint32 kCodes[] = {zep::kRateControlCbr, zep::kRateControlVbr, zep::kRateControlCappedQuality,
                                        zep::kRateControlConstantQp};
    const uint32 method = U32(value);
    set.Config().rateControlMethod = method < 4 ? kCodes[method] : kCodes[0];
}

void StoreBitrate(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().bitrate = U32(value);
    set.RecomputeVbv();
}

void StoreVbvSize(PropertySet& set, const VQXVariant& value, bool initial) {
    if (initial) return;
    set.Config().vbvBufferSize = U32(value);
    SetChanged(set, zep::kChangeVbvBufferSize);
}

// Percent (0..100) to the service's 0..64 scale, offset by 8.
void StoreVbvFullness(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().initialVbvFullness = (U32(value) * 56u + 50u) / 100u + 8u;
    SetChanged(set, zep::kChangeInitialVbvFullness);
}

// The field means "deblocking disabled".
void StoreDeblocking(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().deblockingDisabled = value.ToBool() ? 0u : 1u;
    SetChanged(set, zep::kChangeDeblockingDisabled);
}

// Slices per frame to macroblocks per slice: ceil(M / v), 0 for v = 0.
void StoreSlices(PropertySet& set, const VQXVariant& value, bool) {
    const uint32 slices = U32(value);
    const uint32 macroblocks = set.MacroblockCount();
    set.Config().mbsPerSlice = slices == 0 ? 0u : (macroblocks - 1u + slices) / slices;
    SetChanged(set, zep::kChangeMbsPerSlice);
}

void StoreWaitFrameMax(PropertySet& set, const VQXVariant& value, bool) {
    set.GetCustomParams()->waitFrameMax.store(U32(value));
}

// --- follow-on values ---------------------------------------------------------------------------

template <uint32 ZEPCreateParams::*Field>
uint32 CreateField(const PropertySet& set) {
    return set.CreateParams().*Field;
}

template <uint32 ZEPConfig::*Field>
uint32 ConfigField(const PropertySet& set) {
    return set.Config().*Field;
}

// --- the table ----------------------------------------------------------------------------------

constexpr VQX_VARIANT_TYPE kI64 = VQX_VARIANT_INT64;
constexpr VQX_VARIANT_TYPE kBool = VQX_VARIANT_BOOL;
constexpr PropertySet::AccessMode kDriver = PropertySet::kModeDriver;
constexpr PropertySet::AccessMode kBefore = PropertySet::kModeBeforeCreate;
constexpr PropertySet::AccessMode kAfter = PropertySet::kModeAfterCreate;
constexpr PropertySet::AccessMode kAlways = PropertySet::kModeAlways;

constexpr int64 kInt32Max = 2147483647;
constexpr int64 kWireless = PropertySet::kUsageWirelessDisplay;
constexpr int64 kLowLat = PropertySet::kUsageLowLatency;
constexpr int64 kBaseline = zep::kProfileIdcBaseline;
constexpr int64 kHigh = zep::kProfileIdcHigh;

constexpr std::optional<uint32> kNoCap;
constexpr std::optional<uint32> kCapGeneric = zep::kCapabilityGeneric;
constexpr std::optional<uint32> kCapWireless = zep::kCapabilityWirelessDisplay;
constexpr std::optional<uint32> kCapLowLat = zep::kCapabilityLowLatency;

constexpr PropertySet::TimingField kNoTiming = nullptr;
constexpr PropertySet::TimingField kWidth = &grx::DisplayTiming::width;
constexpr PropertySet::TimingField kHeight = &grx::DisplayTiming::height;
constexpr PropertySet::TimingField kNumerator = &grx::DisplayTiming::numerator;
constexpr PropertySet::TimingField kDenominator = &grx::DisplayTiming::denominator;

// The usage may force the profile; a new bitrate derives a new VBV size.
constexpr PropertySet::FollowOn kNoFollowOn{nullptr, nullptr};
constexpr PropertySet::FollowOn kProfileFollows{property_name::kProfile, &CreateField<&ZEPCreateParams::profile>};
constexpr PropertySet::FollowOn kVbvFollows{property_name::kVbvBufferSize, &ConfigField<&ZEPConfig::vbvBufferSize>};

using namespace zep;  // the change-mask bits of the appliers below

// Registration order is the description order. The frame-format bounds are deliberately empty
// (minimum above maximum): only the encoder sets them, from the display's timing.
const PropertySet::PropertyRow kPropertyTable[] = {
    // name                                type      default         min         max  mode     usages
    // second line: capability, timing field, follow-on, applier
    {L"Generic Support", kBool, 0, 0, 0, kDriver, kAll, kCapGeneric, kNoTiming, kNoFollowOn, &IgnoreValue},
    {L"Wireless Display Support", kBool, 0, 0, 0, kDriver, kAll, kCapWireless, kNoTiming, kNoFollowOn, &IgnoreValue},
    {L"Low Latency Support", kBool, 0, 0, 0, kDriver, kAll, kCapLowLat, kNoTiming, kNoFollowOn, &IgnoreValue},
    {L"Width", kI64, 0, kInt32Max, 0, kBefore, kAll, kNoCap, kWidth, kNoFollowOn,
     &StoreFormatField<&ZEPCreateParams::width>},
    {L"Height", kI64, 0, kInt32Max, 0, kBefore, kAll, kNoCap, kHeight, kNoFollowOn,
     &StoreFormatField<&ZEPCreateParams::height>},
    {L"FPS Numerator", kI64, 0, kInt32Max, 0, kBefore, kAll, kNoCap, kNumerator, kNoFollowOn,
     &StoreFormatField<&ZEPCreateParams::fpsNumerator>},
    {L"FPS Denominator", kI64, 0, kInt32Max, 0, kBefore, kAll, kNoCap, kDenominator, kNoFollowOn, &StoreFpsDenominator},
    {L"Usage", kI64, kWireless, kGeneric, kLowLat, kBefore, kAll, kNoCap, kNoTiming, kProfileFollows, &StoreUsage},
    {property_name::kProfile, kI64, kBaseline, kBaseline, kHigh, kBefore, kGenericLowLatency, kNoCap, kNoTiming,
     kNoFollowOn, &StoreProfile},
    {L"Output Type", kI64, 0, 0, 3, kBefore, kAll, kNoCap, kNoTiming, kNoFollowOn, &StoreOutputType},
    {L"Feedbacks", kI64, 16, 3, 32, kBefore, kAll, kNoCap, kNoTiming, kNoFollowOn, &StoreFeedbacks},
    {L"Insert AUD", kBool, 1, 0, 0, kBefore, kAll, kNoCap, kNoTiming, kNoFollowOn, &StoreInsertAud},
    {property_name::kIdrPeriod, kI64, 300, 0, 6000, kAfter, kAll, kNoCap, kNoTiming, kNoFollowOn,
     &StoreConfigField<&ZEPConfig::idrPeriod>},
    {L"Skipped PIC Period", kI64, 0, 0, 7, kAfter, kAll, kNoCap, kNoTiming, kNoFollowOn,
     &StoreConfigField<&ZEPConfig::skippedPicPeriod>},
    {L"Rate Control Method", kI64, 0, 0, 3, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn, &StoreRateControl},
    {property_name::kBitrate, kI64, 0, 0, 0, kAfter, kAll, kNoCap, kNoTiming, kVbvFollows, &StoreBitrate},
    {property_name::kPeakBitrate, kI64, 0, 0, 0, kAfter, kAll, kNoCap, kNoTiming, kNoFollowOn,
     &StoreConfigField<&ZEPConfig::peakBitrate>},
    {property_name::kIntraRefreshPerSlot, kI64, 0, 0, 0, kAfter, kAll, kNoCap, kNoTiming, kNoFollowOn,
     &StoreMasked<&ZEPConfig::intraRefreshMbs, kChangeIntraRefreshMbs>},
    {L"Initial VBV Buffer Fullness", kI64, 100, 0, 100, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn,
     &StoreVbvFullness},
    {property_name::kVbvBufferSize, kI64, 0, 0, 0, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn, &StoreVbvSize},
    {L"Min QP", kI64, 22, 0, 51, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn,
     &StoreMasked<&ZEPConfig::minQp, kChangeMinQp>},
    {L"Max QP", kI64, 51, 0, 51, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn,
     &StoreMasked<&ZEPConfig::maxQp, kChangeMaxQp>},
    {L"QP I", kI64, 22, 0, 51, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn,
     &StoreMasked<&ZEPConfig::qpI, kChangeQpI>},
    {L"QP P", kI64, 22, 0, 51, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn,
     &StoreMasked<&ZEPConfig::qpP, kChangeQpP>},
    {L"De-blocking Filter", kBool, 1, 0, 0, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn, &StoreDeblocking},
    {L"Filler Data", kBool, 0, 0, 0, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn,
     &StoreMaskedFlag<&ZEPConfig::fillerData, kChangeFillerData>},
    {L"Half Pixel", kBool, 1, 0, 0, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn,
     &StoreMaskedFlag<&ZEPConfig::halfPixel, kChangeHalfPixel>},
    {L"Quarter Pixel", kBool, 1, 0, 0, kAfter, kGeneric, kNoCap, kNoTiming, kNoFollowOn,
     &StoreMaskedFlag<&ZEPConfig::quarterPixel, kChangeQuarterPixel>},
    {L"Timing Info", kBool, 1, 0, 0, kAfter, kAll, kNoCap, kNoTiming, kNoFollowOn,
     &StoreMaskedFlag<&ZEPConfig::timingInfo, kChangeTimingInfo>},
    {property_name::kSlicesPerFrame, kI64, 1, 1, 1, kAfter, kGenericLowLatency, kNoCap, kNoTiming, kNoFollowOn,
     &StoreSlices},
    {L"Wait Frame Max", kI64, 500, 0, 4294967295, kAlways, kAll, kNoCap, kNoTiming, kNoFollowOn, &StoreWaitFrameMax},
};

constexpr uint32 kPropertyCount = sizeof(kPropertyTable) / sizeof(kPropertyTable[0]);

// A property that may be set while the video encoder exists is described as changeable.
bool AllowsChange(PropertySet::AccessMode mode) {
    return mode == PropertySet::kModeAfterCreate || mode == PropertySet::kModeAlways;
}

}  // namespace

PropertySet::PropertySet() {
    m_infos.reserve(kPropertyCount);  // the storage borrows the array: it must never move
    m_entries.reserve(kPropertyCount);
    for (const PropertyRow& row : kPropertyTable)
        Register(row);

    std::memset(&m_createParams, 0, sizeof(m_createParams));
    m_createParams.size = sizeof(m_createParams);
    m_createParams.constant52 = 33;

    std::memset(&m_configHeader, 0, sizeof(m_configHeader));
    m_configHeader.size = sizeof(m_configHeader);
    std::memset(&m_config, 0, sizeof(m_config));
    m_config.size = sizeof(m_config);
    m_configHeader.config = &m_config;

    m_customParams = std::make_shared<CustomParams>();

    ApplyDefaults();

    m_createParams.constant56 = 1;
    m_config.reserved16 = 0;
}

void PropertySet::Register(const PropertyRow& row) {
    const bool isInt64 = row.type == VQX_VARIANT_INT64;
    const VQXVariant defaultValue =
        isInt64 ? VQXVariant::FromInt64(row.defaultValue) : VQXVariant::FromBool(row.defaultValue != 0);
    const VQXVariant minValue = isInt64 ? VQXVariant::FromInt64(row.minValue) : VQXVariant();
    const VQXVariant maxValue = isInt64 ? VQXVariant::FromInt64(row.maxValue) : VQXVariant();
    m_infos.emplace_back(row.name, row.name, row.type, VQX_PROPERTY_CONTENT_DEFAULT, defaultValue, minValue, maxValue,
                         AllowsChange(row.accessMode), nullptr);
    m_entryIndex[vqx_wstring(row.name)] = m_entries.size();
    m_entries.push_back(PropertyEntry{row, static_cast<int32>(m_infos.size()) - 1});
}

const PropertySet::PropertyEntry* PropertySet::FindEntry(const wchar_t* name) const {
    if (name == nullptr) return nullptr;
    const auto found = m_entryIndex.find(name);
    return found == m_entryIndex.end() ? nullptr : &m_entries[found->second];
}

VQXPropertyInfoImpl* PropertySet::FindPropertyInfo(const wchar_t* name) {
    const PropertyEntry* entry = FindEntry(name);
    return entry == nullptr ? nullptr : &m_infos[static_cast<std::size_t>(entry->infoIndex)];
}

bool PropertySet::IsPropertySupported(const wchar_t* name) const {
    const PropertyEntry* entry = FindEntry(name);
    if (entry == nullptr) return false;
    for (const UsagePair& pair : kUsages) {
        if (pair.code == m_createParams.usage) return (entry->usageMask & pair.value) != 0;
    }
    return false;
}

void PropertySet::ApplyProperty(const wchar_t* name, const VQXVariant& value, bool initial) {
    const PropertyEntry* entry = FindEntry(name);
    if (entry != nullptr) entry->applier(*this, value, initial);
}

void PropertySet::ApplyDefaults() {
    for (std::size_t i = 0; i < m_infos.size(); ++i) {
        // Read one by one: an applier earlier in the pass may have changed a later default.
        const VQXVariant defaultValue(m_infos[i].defaultValue);
        ApplyProperty(m_infos[i].name, defaultValue, true);
    }
}

uint32 PropertySet::MacroblockCount() const {
    return ((m_createParams.width + 15u) / 16u) * ((m_createParams.height + 15u) / 16u);
}

void PropertySet::SetInfoInt64(const wchar_t* name, VQXVARIANT VQXPropertyInfo::*field, int64 value) {
    VQXPropertyInfoImpl* info = FindPropertyInfo(name);
    if (info != nullptr) VQXVariantAssignInt64(&(info->*field), value);
}

}  // namespace vqx
