#include "encoder/property_set.h"

#include <cstring>

namespace vqx {

namespace {

using zep::ZEPConfig;
using zep::ZEPCreateParams;

// Optional-field bits of the creation record.
constexpr uint32 kCreateFeedbacksValid = 1u << 3;
constexpr uint32 kCreateAudValid = 1u << 4;
// The change-mask bit of the VBV buffer size field.
constexpr uint32 kVbvSizeBit = 2;

constexpr uint32 kAll = PropertySet::kUsageGeneric | PropertySet::kUsageWirelessDisplay |
                        PropertySet::kUsageLowLatency;
constexpr uint32 kGeneric = PropertySet::kUsageGeneric;
constexpr uint32 kGenericLowLatency = PropertySet::kUsageGeneric | PropertySet::kUsageLowLatency;

// Integer properties use the low 32 bits of the value as an unsigned number.
uint32 U32(const VQXVariant& value) { return static_cast<uint32>(value.ToInt64()); }
uint32 Flag(const VQXVariant& value) { return value.ToBool() ? 1u : 0u; }

void SetMaskBit(PropertySet& set, uint32 bit) { set.Config().changeMask |= 1u << bit; }

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

void StoreUsage(PropertySet& set, const VQXVariant& value, bool) {
    const uint32 usage = U32(value);
    const uint32 code = usage == 2 ? 1 : usage == 4 ? 2 : 0;  // 1 and 3 (and anything else): generic
    set.CreateParams().usage = code;
    if (code == 1) set.CreateParams().profile = 66;
    VQXPropertyInfoImpl* profile = set.FindPropertyInfo(L"Profile");
    if (profile != nullptr) VQXVariantAssignInt64(&profile->maxValue, code == 1 ? 66 : 100);
}

void StoreProfile(PropertySet& set, const VQXVariant& value, bool) { set.CreateParams().profile = U32(value); }

void StoreOutputType(PropertySet& set, const VQXVariant& value, bool) {
    set.CreateParams().outputType = U32(value) + 1;  // 0..3 -> 1..4
}

void StoreFeedbacks(PropertySet& set, const VQXVariant& value, bool) {
    set.CreateParams().feedbacks = U32(value);
    set.CreateParams().optionalFieldMask |= kCreateFeedbacksValid;
}

void StoreInsertAud(PropertySet& set, const VQXVariant& value, bool) {
    set.CreateParams().insertAud = Flag(value);
    set.CreateParams().optionalFieldMask |= kCreateAudValid;
}

// Always-valid configuration fields (no mask bit).
template <uint32 ZEPConfig::*Field>
void StoreConfigField(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().*Field = U32(value);
}

// Optional configuration fields: the value and its change-mask bit.
template <uint32 ZEPConfig::*Field, uint32 Bit>
void StoreMaskedField(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().*Field = U32(value);
    SetMaskBit(set, Bit);
}

template <uint32 ZEPConfig::*Field, uint32 Bit>
void StoreMaskedFlag(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().*Field = Flag(value);
    SetMaskBit(set, Bit);
}

void StoreRateControl(PropertySet& set, const VQXVariant& value, bool) {
    static constexpr uint32 kCodes[] = {4, 6, 3, 0};  // an unlisted value maps like 0
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
    SetMaskBit(set, kVbvSizeBit);
}

// Percent (0..100) to the service's 0..64 scale, offset by 8.
void StoreVbvFullness(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().initialVbvFullness = (U32(value) * 56u + 50u) / 100u + 8u;
    SetMaskBit(set, 3);
}

// The field means "deblocking disabled".
void StoreDeblocking(PropertySet& set, const VQXVariant& value, bool) {
    set.Config().deblockingDisabled = value.ToBool() ? 0u : 1u;
    SetMaskBit(set, 7);
}

// Slices per frame to macroblocks per slice: ceil(M / v), 0 for v = 0.
void StoreSlices(PropertySet& set, const VQXVariant& value, bool) {
    const uint32 slices = U32(value);
    const uint32 macroblocks = set.MacroblockCount();
    set.Config().mbsPerSlice = slices == 0 ? 0u : (macroblocks - 1u + slices) / slices;
    SetMaskBit(set, 8);
}

void StoreWaitFrameMax(PropertySet& set, const VQXVariant& value, bool) {
    set.GetCustomParams()->waitFrameMax.store(U32(value));
}

// --- the table ----------------------------------------------------------------------------------

enum class Kind { Int64, Bool };

struct PropertyRow {
    const wchar_t* name;
    Kind kind;
    int64 defaultValue;  // bool: 0 or 1
    int64 minValue;      // int64 only
    int64 maxValue;      // int64 only
    bool allowChange;
    int32 accessMode;
    uint32 usageMask;
    PropertySet::Applier applier;
};

constexpr int32 kDriver = PropertySet::kModeDriver;
constexpr int32 kBefore = PropertySet::kModeBeforeCreate;
constexpr int32 kAfter = PropertySet::kModeAfterCreate;
constexpr int32 kAlways = PropertySet::kModeAlways;
constexpr Kind kI64 = Kind::Int64;
constexpr Kind kBool = Kind::Bool;

// Registration order is the description order. The frame-format bounds are deliberately empty
// (minimum above maximum): only the encoder sets them, from the display's timing.
const PropertyRow kPropertyTable[] = {
    // name                                  kind  default     min        max  change mode   usages
    {L"Generic Support",                     kBool,  0,         0,          0, false, kDriver, kAll, &IgnoreValue},
    {L"Wireless Display Support",            kBool,  0,         0,          0, false, kDriver, kAll, &IgnoreValue},
    {L"Low Latency Support",                 kBool,  0,         0,          0, false, kDriver, kAll, &IgnoreValue},
    {L"Width",                               kI64,   0, 2147483647,         0, false, kBefore, kAll, &StoreFormatField<&ZEPCreateParams::width>},
    {L"Height",                              kI64,   0, 2147483647,         0, false, kBefore, kAll, &StoreFormatField<&ZEPCreateParams::height>},
    {L"FPS Numerator",                       kI64,   0, 2147483647,         0, false, kBefore, kAll, &StoreFormatField<&ZEPCreateParams::fpsNumerator>},
    {L"FPS Denominator",                     kI64,   0, 2147483647,         0, false, kBefore, kAll, &StoreFpsDenominator},
    {L"Usage",                               kI64,   2,         1,          4, false, kBefore, kAll, &StoreUsage},
    {L"Profile",                             kI64,  66,        66,        100, false, kBefore, kGenericLowLatency, &StoreProfile},
    {L"Output Type",                         kI64,   0,         0,          3, false, kBefore, kAll, &StoreOutputType},
    {L"Feedbacks",                           kI64,  16,         3,         32, false, kBefore, kAll, &StoreFeedbacks},
    {L"Insert AUD",                          kBool,  1,         0,          0, false, kBefore, kAll, &StoreInsertAud},
    {L"IDR Period",                          kI64, 300,         0,       6000, true,  kAfter,  kAll, &StoreConfigField<&ZEPConfig::idrPeriod>},
    {L"Skipped PIC Period",                  kI64,   0,         0,          7, true,  kAfter,  kAll, &StoreConfigField<&ZEPConfig::skippedPicPeriod>},
    {L"Rate Control Method",                 kI64,   0,         0,          3, true,  kAfter,  kGeneric, &StoreRateControl},
    {L"Bitrate",                             kI64,   0,         0,          0, true,  kAfter,  kAll, &StoreBitrate},
    {L"Peak Bitrate",                        kI64,   0,         0,          0, true,  kAfter,  kAll, &StoreConfigField<&ZEPConfig::peakBitrate>},
    {L"Intra Refresh MBs Number Per Slot",   kI64,   0,         0,          0, true,  kAfter,  kAll, &StoreMaskedField<&ZEPConfig::intraRefreshMbs, 0>},
    {L"Initial VBV Buffer Fullness",         kI64, 100,         0,        100, true,  kAfter,  kGeneric, &StoreVbvFullness},
    {L"VBV Buffer Size",                     kI64,   0,         0,          0, true,  kAfter,  kGeneric, &StoreVbvSize},
    {L"Min QP",                              kI64,  22,         0,         51, true,  kAfter,  kGeneric, &StoreMaskedField<&ZEPConfig::minQp, 4>},
    {L"Max QP",                              kI64,  51,         0,         51, true,  kAfter,  kGeneric, &StoreMaskedField<&ZEPConfig::maxQp, 5>},
    {L"QP I",                                kI64,  22,         0,         51, true,  kAfter,  kGeneric, &StoreMaskedField<&ZEPConfig::qpI, 11>},
    {L"QP P",                                kI64,  22,         0,         51, true,  kAfter,  kGeneric, &StoreMaskedField<&ZEPConfig::qpP, 12>},
    {L"De-blocking Filter",                  kBool,  1,         0,          0, true,  kAfter,  kGeneric, &StoreDeblocking},
    {L"Filler Data",                         kBool,  0,         0,          0, true,  kAfter,  kGeneric, &StoreMaskedFlag<&ZEPConfig::fillerData, 10>},
    {L"Half Pixel",                          kBool,  1,         0,          0, true,  kAfter,  kGeneric, &StoreMaskedFlag<&ZEPConfig::halfPixel, 13>},
    {L"Quarter Pixel",                       kBool,  1,         0,          0, true,  kAfter,  kGeneric, &StoreMaskedFlag<&ZEPConfig::quarterPixel, 14>},
    {L"Timing Info",                         kBool,  1,         0,          0, true,  kAfter,  kAll, &StoreMaskedFlag<&ZEPConfig::timingInfo, 15>},
    {L"Slices Per Frame",                    kI64,   1,         1,          1, true,  kAfter,  kGenericLowLatency, &StoreSlices},
    {L"Wait Frame Max",                      kI64, 500,         0, 4294967295, true,  kAlways, kAll, &StoreWaitFrameMax},
};

constexpr uint32 kPropertyCount = sizeof(kPropertyTable) / sizeof(kPropertyTable[0]);
static_assert(kPropertyCount == 31, "the encoder has 31 properties");

}  // namespace

PropertySet::PropertySet() {
    m_infos.reserve(kPropertyCount);  // the storage borrows the array: it must never move
    for (const PropertyRow& row : kPropertyTable) {
        if (row.kind == Kind::Int64) {
            RegisterInt64Property(row.name, row.defaultValue, row.minValue, row.maxValue, row.allowChange,
                                  row.applier, row.accessMode, row.usageMask);
        } else {
            RegisterBoolProperty(row.name, row.defaultValue != 0, row.allowChange, row.applier, row.accessMode,
                                 row.usageMask);
        }
    }

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

void PropertySet::RegisterInt64Property(const wchar_t* name, int64 defaultValue, int64 minValue, int64 maxValue,
                                        bool allowChange, Applier applier, int32 accessMode, uint32 usageMask) {
    m_infos.emplace_back(name, name, VQX_VARIANT_INT64, VQX_PROPERTY_CONTENT_DEFAULT,
                         VQXVariant::FromInt64(defaultValue), VQXVariant::FromInt64(minValue),
                         VQXVariant::FromInt64(maxValue), allowChange, nullptr);
    AddEntry(name, applier, accessMode, usageMask);
}

void PropertySet::RegisterBoolProperty(const wchar_t* name, bool defaultValue, bool allowChange, Applier applier,
                                       int32 accessMode, uint32 usageMask) {
    m_infos.emplace_back(name, name, VQX_VARIANT_BOOL, VQX_PROPERTY_CONTENT_DEFAULT,
                         VQXVariant::FromBool(defaultValue), VQXVariant(), VQXVariant(), allowChange, nullptr);
    AddEntry(name, applier, accessMode, usageMask);
}

void PropertySet::AddEntry(const wchar_t* name, Applier applier, int32 accessMode, uint32 usageMask) {
    const int32 index = static_cast<int32>(m_infos.size()) - 1;
    m_entries[vqx_wstring(name)] = PropertyEntry{applier, accessMode, usageMask, index};
}

const PropertySet::PropertyEntry* PropertySet::FindEntry(const wchar_t* name) const {
    if (name == nullptr) return nullptr;
    const auto found = m_entries.find(name);
    return found == m_entries.end() ? nullptr : &found->second;
}

VQXPropertyInfoImpl* PropertySet::FindPropertyInfo(const wchar_t* name) {
    const PropertyEntry* entry = FindEntry(name);
    return entry == nullptr ? nullptr : &m_infos[static_cast<std::size_t>(entry->infoIndex)];
}

bool PropertySet::IsPropertySupported(const wchar_t* name) const {
    static constexpr uint32 kUsageBits[] = {kUsageGeneric, kUsageWirelessDisplay, kUsageLowLatency};
    const PropertyEntry* entry = FindEntry(name);
    const uint32 code = m_createParams.usage;
    if (entry == nullptr || code >= 3) return false;
    return (entry->usageMask & kUsageBits[code]) != 0;
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
