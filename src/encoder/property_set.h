// The display encoder's settings as one table (property_set.cpp): their descriptions, when and
// under which usage each may be set, which capability or display-timing field each reports, which
// other property its applier changes, and the appliers that turn values into the creation record,
// the configuration record and the shared custom parameters the encode service and the running
// video encoder read. Adding a property means adding one row.
// Ownership: owns the description array (borrowed by the encoder's storage, so the set is neither
// copied nor moved), the records and one reference to the custom parameters.
// Thread rules: used by the thread that drives the encoder; only CustomParams is shared.
// Choices: a name that is not registered makes ApplyProperty do nothing and FindPropertyInfo
// answer null. Recomputed VBV figures outside the signed 32-bit range saturate; below one frame
// per second (whole frame rate 0) the record's VBV size is 1.25 x bitrate, as for one frame.
#pragma once

#include "bindings/grx_remote_display.h"
#include "abi/zep_records.h"
#include "encoder/custom_params.h"

#include <vqx/property_storage_ex.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace vqx {

// The names of the properties that code outside their own row refers to: the follow-ons and the
// limits derived from the format and the bitrate.
namespace property_name {
inline constexpr wchar_t kProfile[] = L"Profile";
inline constexpr wchar_t kBitrate[] = L"Bitrate";
inline constexpr wchar_t kPeakBitrate[] = L"Peak Bitrate";
inline constexpr wchar_t kIdrPeriod[] = L"IDR Period";
inline constexpr wchar_t kSlicesPerFrame[] = L"Slices Per Frame";
inline constexpr wchar_t kIntraRefreshPerSlot[] = L"Intra Refresh MBs Number Per Slot";
inline constexpr wchar_t kVbvBufferSize[] = L"VBV Buffer Size";
}  // namespace property_name

class PropertySet {
public:
    using CustomParams = vqx::CustomParams;
    // Turns a new value into record fields; `initial` is true only during ApplyDefaults.
    using Applier = void (*)(PropertySet& set, const VQXVariant& value, bool initial);

    // When a caller may set a property (enforced by the encoder).
    enum AccessMode : int32 {
        kModeDriver = 1,        // reported by the driver, never settable
        kModeNever = 2,         // never settable
        kModeBeforeCreate = 3,  // only while no video encoder exists
        kModeAfterCreate = 4,   // only while a video encoder exists
        kModeAlways = 5,        // at any time
    };

    // Values of the Usage property, and the bits of a property's usage mask.
    static constexpr uint32 kUsageGeneric = 1;
    static constexpr uint32 kUsageWirelessDisplay = 2;
    static constexpr uint32 kUsageLowLatency = 4;

    // The display-timing field a property takes when the video encoder is created.
    using TimingField = int32 grx::DisplayTiming::*;

    // A property whose value an applier changes as well, and how to read its new value from the
    // records; a null name when there is none.
    struct FollowOn {
        const wchar_t* name;
        uint32 (*recordValue)(const PropertySet& set);
    };

    // One row of the property table: everything the encoder knows about one property. The
    // description says the value may change while the encoder runs exactly when the access mode
    // allows setting it once a video encoder exists.
    struct PropertyRow {
        const wchar_t* name;
        VQX_VARIANT_TYPE type;  // VQX_VARIANT_INT64 or VQX_VARIANT_BOOL
        int64 defaultValue;     // bool: 0 or 1
        int64 minValue;         // int64 only
        int64 maxValue;         // int64 only
        AccessMode accessMode;
        uint32 usageMask;                  // kUsage bits: the usages under which it may be set
        std::optional<uint32> capability;  // the service capability (zep::kCapability...) it reports
        TimingField timingField;           // the display-timing field it is set from; null otherwise
        FollowOn followOn;                 // the property its applier changes too
        Applier applier;
    };

    // A registered row and its position in the description array (the row's position in the table).
    struct PropertyEntry : PropertyRow {
        int32 infoIndex;
    };

    // Registers the properties, prepares the records and applies the defaults.
    PropertySet();
    PropertySet(const PropertySet&) = delete;
    PropertySet& operator=(const PropertySet&) = delete;

    const VQXPropertyInfoImpl* Infos() const { return m_infos.data(); }
    uint32 InfoCount() const { return static_cast<uint32>(m_infos.size()); }
    // Every property in table order (the order of the descriptions).
    const std::vector<PropertyEntry>& Entries() const { return m_entries; }

    // Null for a name that is not registered.
    const PropertyEntry* FindEntry(const wchar_t* name) const;
    VQXPropertyInfoImpl* FindPropertyInfo(const wchar_t* name);
    // Whether the name may be set under the usage stored in the creation record.
    bool IsPropertySupported(const wchar_t* name) const;

    void ApplyProperty(const wchar_t* name, const VQXVariant& value, bool initial);
    // Every applier with its description's current default, in array order, `initial` true.
    void ApplyDefaults();

    // Level and resolution-dependent defaults and limits from the format in the creation record.
    void RecomputeFromFormat();
    // VBV limits and the record's VBV size from the bitrate and the frame rate (needs both parts
    // of the frame rate non-zero).
    void RecomputeVbv();

    std::shared_ptr<CustomParams> GetCustomParams() const { return m_customParams; }

    zep::ZEPCreateParams& CreateParams() { return m_createParams; }
    const zep::ZEPCreateParams& CreateParams() const { return m_createParams; }
    const zep::ZEPConfigHeader& ConfigHeader() const { return m_configHeader; }
    zep::ZEPConfig& Config() { return m_config; }
    const zep::ZEPConfig& Config() const { return m_config; }

    // The frame's 16x16 macroblock count from the creation record (unsigned 32-bit arithmetic).
    uint32 MacroblockCount() const;

private:
    void Register(const PropertyRow& row);
    void SetInfoInt64(const wchar_t* name, VQXVARIANT VQXPropertyInfo::*field, int64 value);

    std::vector<VQXPropertyInfoImpl> m_infos;
    std::vector<PropertyEntry> m_entries;
    std::map<vqx_wstring, std::size_t, std::less<>> m_entryIndex;  // position in m_entries by name
    zep::ZEPCreateParams m_createParams;
    zep::ZEPConfigHeader m_configHeader;
    zep::ZEPConfig m_config;
    std::shared_ptr<CustomParams> m_customParams;
};

}  // namespace vqx
