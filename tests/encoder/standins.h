// Host-side access to the two stand-in driver libraries: their test controls, the display mode,
// and small helpers to drive and inspect an encoder through vqx.dll.
#pragma once

#include "grxapixx_test.h"
#include "qzt_test_api.h"

#include <vqx/encoder.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vqx::test {

class StandIns {
public:
    StandIns() {
        m_zepModule = LoadLibraryW(L"qztrvx32.dll");
        m_grxModule = LoadLibraryW(L"grxapixx.dll");
        zepReady = m_zepModule != nullptr && zep.Load(m_zepModule);
        grxReady = m_grxModule != nullptr && Find("GRXTest_Reset", grxReset) &&
                   Find("GRXTest_GetRecord", grxGetRecord);
    }
    ~StandIns() {
        if (m_grxModule != nullptr) FreeLibrary(m_grxModule);
        if (m_zepModule != nullptr) FreeLibrary(m_zepModule);
    }
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;

    void Reset() {
        zep.Reset();
        grxReset();
        SetMode(nullptr);
        SetEnvironmentVariableA("GRXAPIXX_ADAPTERS", nullptr);
    }
    // A mode of the simulated display ("1920x1080@60", ...); null: the EDID's timing.
    static void SetMode(const char* mode) { SetEnvironmentVariableA("GRXAPIXX_MODE", mode); }

    GRXTestRecord DisplayRecord() const {
        GRXTestRecord record{};
        grxGetRecord(&record, sizeof(record));
        return record;
    }
    uint32_t Calls(const char* operation) const { return zep.GetCallCount(operation); }
    std::vector<uint32_t> LastCreateWords() const { return Words(zep.GetLastCreateParams, 68); }
    std::vector<uint32_t> LastConfigWords() const { return Words(zep.GetLastConfig, 100); }
    std::vector<uint32_t> ReclaimedIds() const {
        std::vector<uint32_t> ids(zep.GetReclaimedIds(nullptr, 0));
        zep.GetReclaimedIds(ids.data(), static_cast<uint32_t>(ids.size()));
        return ids;
    }

    qzt::TestControls zep;
    bool zepReady = false;
    bool grxReady = false;
    GRXTest_Reset_Fn grxReset = nullptr;
    GRXTest_GetRecord_Fn grxGetRecord = nullptr;

private:
    template <typename Proc>
    bool Find(const char* name, Proc& proc) {
        proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(m_grxModule, name)));
        return proc != nullptr;
    }
    static std::vector<uint32_t> Words(qzt::QztGetRecordProc get, uint32_t size) {
        std::vector<uint32_t> words(size / 4);
        if (get(words.data(), size) != size) words.clear();
        return words;
    }

    HMODULE m_zepModule = nullptr;
    HMODULE m_grxModule = nullptr;
};

// One encoder made by the factory, released at the end of the scope.
inline VQXPtr<VQXEncoderKLTZEP> NewEncoder() {
    VQXEncoderKLTZEP* raw = nullptr;
    VQXCreateEncoderKLTZEP(&raw);
    return VQXPtr<VQXEncoderKLTZEP>::Adopt(raw);
}

inline VQX_ERROR SetInt(VQXEncoderKLTZEP* encoder, const wchar_t* name, int64 value) {
    return encoder->SetProperty(name, VQXVariant::FromInt64(value));
}
inline VQX_ERROR SetBool(VQXEncoderKLTZEP* encoder, const wchar_t* name, bool value) {
    return encoder->SetProperty(name, VQXVariant::FromBool(value));
}

// The value as a 64-bit integer; fails the test when it cannot be read as one.
inline int64 GetInt(VQXEncoderKLTZEP* encoder, const wchar_t* name) {
    VQXVariant value;
    EXPECT_EQ(encoder->GetProperty(name, &value), VQX_OK) << "reading a property";
    EXPECT_EQ(value.type, VQX_VARIANT_INT64);
    return value.type == VQX_VARIANT_INT64 ? value.int64Value : -1;
}

inline int64 InfoInt(VQXEncoderKLTZEP* encoder, const wchar_t* name, VQXVARIANT VQXPropertyInfo::*field) {
    const VQXPropertyInfo* info = nullptr;
    EXPECT_EQ(encoder->GetPropertyInfo(name, &info), VQX_OK);
    if (info == nullptr) return -1;
    const VQXVARIANT& value = info->*field;
    EXPECT_EQ(value.type, VQX_VARIANT_INT64);
    return value.int64Value;
}

}  // namespace vqx::test
