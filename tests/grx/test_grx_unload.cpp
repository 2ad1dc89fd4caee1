// Unloading vqx.dll finishes a bound display library: GRX_Main_Control_Destroy is called and the
// library's reference is dropped. vqx.dll is loaded at run time here so that it can be unloaded;
// the display is acquired through the encoder, the only user of the binding.
#include "grx_test_support.h"

#include <vqx/encoder.h>

#include <gtest/gtest.h>

using namespace vqx::test;

TEST(GrxUnload, UnloadingTheLibraryFinishesAndUnloadsTheDisplayLibrary) {
    const HMODULE vqx_module = LoadLibraryW(L"vqx.dll");
    ASSERT_NE(nullptr, vqx_module);
    EXPECT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll")) << "nothing binds at load";
    using CreateEncoderFn = void(__stdcall*)(vqx::VQXEncoderKLTZEP * *encoder);
    const auto create = reinterpret_cast<CreateEncoderFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(vqx_module, "VQXCreateEncoderKLTZEP")));
    ASSERT_NE(nullptr, create);
    vqx::VQXEncoderKLTZEP* encoder = nullptr;
    create(&encoder);
    ASSERT_NE(nullptr, encoder);
    EXPECT_EQ(vqx::VQX_OK, encoder->AcquireDisplay());
    EXPECT_EQ(vqx::VQX_OK, encoder->ReleaseDisplay());
    encoder->Release();
    {
        StandIn stand_in;  // a second reference, so that the recorder survives vqx.dll's unload
        ASSERT_TRUE(stand_in.Loaded());
        GRXTestRecord record = stand_in.Record();
        EXPECT_EQ(1, record.create_calls);
        EXPECT_EQ(0, record.destroy_calls) << "bound until unload";
        EXPECT_EQ(0, record.acquired_now);
        ASSERT_TRUE(FreeLibrary(vqx_module));
        record = stand_in.Record();
        EXPECT_EQ(1, record.destroy_calls);
        EXPECT_EQ(0, record.created);
    }
    EXPECT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll")) << "the binding dropped its reference";
}
