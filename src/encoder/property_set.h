// The display encoder's 31 settings: their descriptions, when and under which usage each may be
// set, and the appliers that turn values into the creation record, the configuration record and
// the shared custom parameters the encode service and the running video encoder read.
// Ownership: owns the description array (borrowed by the encoder's storage, so the set is neither
// copied nor moved), the records and one reference to the custom parameters.
// Thread rules: used by the thread that drives the encoder; only CustomParams is shared.
// Choices: a name that is not registered makes ApplyProperty do nothing and FindPropertyInfo
// answer null. Recomputed VBV figures outside the signed 32-bit range saturate; below one frame
// per second (whole frame rate 0) the record's VBV size is 1.25 x bitrate, as for one frame.
#pragma once

#include "bindings/zep_records.h"
#include "encoder/custom_params.h"

#include <vqx/property_storage_ex.h>

#include <map>
#include <memory>
#include <vector>

namespace vqx {

class PropertySet {
public:
    using CustomParams = vqx::CustomParams;
    // Turns a new value into record fields; `initial` is true only during ApplyDefaults.
    using Applier = void (*)(PropertySet& set, const VQXVariant& value, bool initial);

    struct PropertyEntry {
        Applier applier;
        int32 accessMode;   // see the access modes below
        uint32 usageMask;   // kUsageGeneric | kUsageWirelessDisplay | kUsageLowLatency
        int32 infoIndex;    // position in the description array
    };

    // When a caller may set a property (enforced by the encoder).
    static constexpr int32 kModeDriver = 1;          // reported by the driver, never settable
    static constexpr int32 kModeNever = 2;           // never settable
    static constexpr int32 kModeBeforeCreate = 3;    // only while no video encoder exists
    static constexpr int32 kModeAfterCreate = 4;     // only while a video encoder exists
    static constexpr int32 kModeAlways = 5;          // at any time

    static constexpr uint32 kUsageGeneric = 1;
    static constexpr uint32 kUsageWirelessDisplay = 2;
    static constexpr uint32 kUsageLowLatency = 4;

    // Registers the properties, prepares the records and applies the defaults.
    PropertySet();
    PropertySet(const PropertySet&) = delete;
    PropertySet& operator=(const PropertySet&) = delete;

    const VQXPropertyInfoImpl* Infos() const { return m_infos.data(); }
    uint32 InfoCount() const { return static_cast<uint32>(m_infos.size()); }

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
    void RegisterInt64Property(const wchar_t* name, int64 defaultValue, int64 minValue, int64 maxValue,
                               bool allowChange, Applier applier, int32 accessMode, uint32 usageMask);
    void RegisterBoolProperty(const wchar_t* name, bool defaultValue, bool allowChange, Applier applier,
                              int32 accessMode, uint32 usageMask);
    void AddEntry(const wchar_t* name, Applier applier, int32 accessMode, uint32 usageMask);
    void SetInfoInt64(const wchar_t* name, VQXVARIANT VQXPropertyInfo::*field, int64 value);

    std::vector<VQXPropertyInfoImpl> m_infos;
    std::map<vqx_wstring, PropertyEntry, std::less<>> m_entries;
    zep::ZEPCreateParams m_createParams;
    zep::ZEPConfigHeader m_configHeader;
    zep::ZEPConfig m_config;
    std::shared_ptr<CustomParams> m_customParams;
};

}  // namespace vqx
