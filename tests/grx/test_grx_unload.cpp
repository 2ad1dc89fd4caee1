// Unloading vqx.dll finishes a bound display library: GRX_Main_Control_Destroy is called and the
// library's reference is dropped. vqx.dll is loaded at run time here so that it can be unloaded;
// the display is acquired through the encoder, the only user of the binding.
#include "grx_test_support.h"

#include <vqx/encoder.h>

#include <gtest/gtest.h>

using namespace grxtest;

namespace {

using CreateEncoderFn = void(__stdcall*)(vqx::VQXEncoderKLTZEP** encoder);

}  // namespace

TEST(GrxUnload, UnloadingTheLibraryFinishesAndUnloadsTheDisplayLibrary) {
    StandIn stand_in;  // holds the stand-in so that its recorder survives vqx.dll's unload
    ASSERT_TRUE(stand_in.Loaded());
    stand_in.Reset();

    const HMODULE vqx_module = LoadLibraryW(L"vqx.dll");
    ASSERT_NE(nullptr, vqx_module);
    const auto create = reinterpret_cast<CreateEncoderFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(vqx_module, "VQXCreateEncoderKLTZEP")));
    ASSERT_NE(nullptr, create);
    EXPECT_EQ(0, stand_in.Record().create_calls) << "nothing binds at load";

    vqx::VQXEncoderKLTZEP* encoder = nullptr;
    create(&encoder);
    ASSERT_NE(nullptr, encoder);
    EXPECT_EQ(vqx::VQX_OK, encoder->AcquireDisplay());
    EXPECT_EQ(1, stand_in.Record().acquired_now);
    EXPECT_EQ(vqx::VQX_OK, encoder->ReleaseDisplay());
    encoder->Release();

    GRXTestRecord record = stand_in.Record();
    EXPECT_EQ(1, record.create_calls);
    EXPECT_EQ(0, record.destroy_calls) << "bound until unload";
    EXPECT_EQ(0, record.acquired_now);

    ASSERT_TRUE(FreeLibrary(vqx_module));
    record = stand_in.Record();
    EXPECT_EQ(1, record.destroy_calls);
    EXPECT_EQ(0, record.created);
}

TEST(GrxUnload, DisplayLibraryIsNotKeptLoadedAfterUnload) {
    ASSERT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll"));
    const HMODULE vqx_module = LoadLibraryW(L"vqx.dll");
    ASSERT_NE(nullptr, vqx_module);
    const auto create = reinterpret_cast<CreateEncoderFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(vqx_module, "VQXCreateEncoderKLTZEP")));
    vqx::VQXEncoderKLTZEP* encoder = nullptr;
    create(&encoder);
    ASSERT_NE(nullptr, encoder);
    EXPECT_EQ(vqx::VQX_OK, encoder->AcquireDisplay());
    EXPECT_NE(nullptr, GetModuleHandleW(L"grxapixx.dll"));
    encoder->Release();
    ASSERT_TRUE(FreeLibrary(vqx_module));
    EXPECT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll"));
}
