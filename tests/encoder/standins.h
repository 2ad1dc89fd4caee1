// Host-side access to the two stand-in driver libraries (their test controls and the display
// mode) and small helpers to drive and inspect an encoder through vqx.dll.
#pragma once

#include "grx_test_support.h"
#include "qzt_test_api.h"

#include <vqx/encoder.h>

#include <gtest/gtest.h>

#include <vector>

namespace vqx::test {

class StandIns {
public:
    StandIns() : m_zepModule(LoadLibraryW(L"qztrvx32.dll")) {
        ready = m_zepModule != nullptr && zep.Load(m_zepModule) && display.Loaded();
    }
    ~StandIns() {
        if (m_zepModule != nullptr) FreeLibrary(m_zepModule);
    }
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;

    // Back to a fresh service and display, with the display mode `mode` ("1920x1080@60", ...;
    // null: the EDID's timing).
    void Reset(const char* mode = nullptr) {
        zep.Reset();
        display.Reset();
        SetMode(mode);
        SetEnvironmentVariableA("GRXAPIXX_ADAPTERS", nullptr);
    }
    static void SetMode(const char* mode) { SetEnvironmentVariableA("GRXAPIXX_MODE", mode); }
    GRXTestRecord DisplayRecord() const { return display.Record(); }
    uint32_t Calls(const char* operation) const { return zep.GetCallCount(operation); }
    std::vector<uint32_t> LastCreateWords() const { return Words(zep.GetLastCreateParams, 68); }
    std::vector<uint32_t> LastConfigWords() const { return Words(zep.GetLastConfig, 100); }
    std::size_t Reclaimed() const { return zep.GetReclaimedIds(nullptr, 0); }

    qzt::TestControls zep;
    vqx::test::StandIn display;  // the display stand-in, as the display-binding tests drive it
    bool ready = false;

private:
    static std::vector<uint32_t> Words(qzt::QztGetRecordProc get, uint32_t size) {
        std::vector<uint32_t> words(size / 4);
        if (get(words.data(), size) != size) words.clear();
        return words;
    }

    HMODULE m_zepModule;
};

inline VQXPtr<VQXEncoderKLTZEP> NewEncoder() {
    VQXEncoderKLTZEP* raw = nullptr;
    VQXCreateEncoderKLTZEP(&raw);
    return VQXPtr<VQXEncoderKLTZEP>::Adopt(raw);
}

// The buffer's bytes as they read now.
inline std::vector<uint8_t> BytesOf(VQXZepBuffer* buffer) {
    void* memory = nullptr;
    buffer->GetMemory(&memory);
    const auto* begin = static_cast<const uint8_t*>(memory);
    return begin == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(begin, begin + buffer->GetSize());
}

inline VQX_ERROR SetInt(VQXEncoderKLTZEP* encoder, const wchar_t* name, int64 value) {
    return encoder->SetProperty(name, VQXVariant::FromInt64(value));
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
    EXPECT_EQ((info->*field).type, VQX_VARIANT_INT64);
    return (info->*field).int64Value;
}

}  // namespace vqx::test
