// Descriptions, the validated storage and the component template, as a host sees them through vqx.dll.
// The template's identifiers, Clear and the defaults of unset properties are checked on the encoder,
// a component built on it (tests/encoder/test_component_host.cpp).
#include "property_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>

using namespace vqx;
using namespace vqx::test;

namespace {

std::vector<VQXPropertyInfoImpl> StandardInfos() {
    std::vector<VQXPropertyInfoImpl> infos;
    infos.push_back(Int64Info(L"Level", 5, 0, 10));
    infos.push_back(Info(L"Ratio", VQX_VARIANT_DOUBLE, Dbl(0.5), Dbl(0.0), Dbl(1.0)));
    infos.push_back(Info(L"Speed", VQX_VARIANT_INT64, Int(0), {}, {}, VQX_PROPERTY_CONTENT_ENUM, SpeedEntries()));
    infos.push_back(Info(L"Name", VQX_VARIANT_WSTRING, WText(L"none")));
    infos.push_back(Int64Info(L"Free", 0, 0, 10, static_cast<VQX_PROPERTY_CONTENT_TYPE>(1)));
    infos.push_back(Int64Info(L"Shadow", 0, 0, 0));
    infos.push_back(Int64Info(L"Locked", 0, 0, 10));
    infos.push_back(Int64Info(L"Mode", 3, 0, 0, VQX_PROPERTY_CONTENT_ENUM));  // no entry array
    return infos;
}

std::vector<VQXPropertyInfoImpl> Int64Infos(std::initializer_list<std::pair<const wchar_t*, int64>> maxima) {
    std::vector<VQXPropertyInfoImpl> infos;
    for (const auto& [name, max] : maxima)
        infos.push_back(Int64Info(name, 7, 0, max));
    return infos;
}

}  // namespace

TEST(PropertyInfo, DescriptionsSettleTheirValuesWithTheFallbacks) {
    static const VQXEnumDescriptionEntry sevenEight[] = {
        {7, "Seven", nullptr}, {8, "Eight", nullptr}, {0, nullptr, nullptr}};
    const VQXVariant none;
    const auto kEnum = VQX_PROPERTY_CONTENT_ENUM;
    const auto kPlain = VQX_PROPERTY_CONTENT_DEFAULT;
    struct Case {
        int type;
        VQX_PROPERTY_CONTENT_TYPE content;
        const VQXEnumDescriptionEntry* entries;
        VQXVariant def, min, max, wantDef, wantMin, wantMax;
    };
    const Case cases[] = {
        {VQX_VARIANT_INT64, kPlain, nullptr, Text("abc"), none, none, Int(0), Int(-2147483648ll), Int(2147483647)},
        {VQX_VARIANT_INT64, kPlain, nullptr, WText(L"12"), Text("-5"), Dbl(9.7), Int(12), Int(-5), Int(9)},
        {VQX_VARIANT_INT64, kPlain, nullptr, Int(0), Int(-(1ll << 40)), Int(1ll << 40), Int(0), Int(-(1ll << 40)),
         Int(1ll << 40)},
        {VQX_VARIANT_DOUBLE, kPlain, nullptr, none, none, none, Dbl(0.0), Dbl(-2147483648.0), Dbl(2147483647.0)},
        {VQX_VARIANT_DOUBLE, kPlain, nullptr, Text("1e3"), Int(-1), Text("2.5"), Dbl(1000.0), Dbl(-1.0), Dbl(2.5)},
        {VQX_VARIANT_BOOL, kPlain, nullptr, Text("maybe"), Int(0), Int(1), VQXVariant::FromBool(false), none, none},
        {VQX_VARIANT_BOOL, kPlain, nullptr, Text("True"), none, none, VQXVariant::FromBool(true), none, none},
        {VQX_VARIANT_STRING, kPlain, nullptr, none, none, none, Text(""), none, none},
        {VQX_VARIANT_STRING, kPlain, nullptr, Int(-5), none, none, Text("-5"), none, none},
        {VQX_VARIANT_WSTRING, kPlain, nullptr, none, Int(0), Int(1), WText(L""), none, none},
        {VQX_VARIANT_INTERFACE, kPlain, nullptr, Int(3), none, none, WText(L""), none, none},
        {VQX_VARIANT_INT64, kEnum, SpeedEntries(), Text("Fast"), Int(0), Int(1), Int(1), none, none},
        {VQX_VARIANT_INT64, kEnum, sevenEight, Text("Nine"), none, none, Int(7), none, none},
        {0, kPlain, nullptr, Int(1), Int(0), Int(2), none, none, none},
        {7, kPlain, nullptr, Int(1), Int(0), Int(2), none, none, none},
        {-1, kPlain, nullptr, Int(1), Int(0), Int(2), none, none, none},
    };
    for (const Case& c : cases) {
        const VQXPropertyInfoImpl info(L"P", L"described", static_cast<VQX_VARIANT_TYPE>(c.type), c.content, c.def,
                                       c.min, c.max, true, c.entries);
        const std::ptrdiff_t row = &c - cases;
        EXPECT_TRUE(Same(c.wantDef, info.defaultValue)) << "row " << row;
        EXPECT_TRUE(Same(c.wantMin, info.minValue)) << "row " << row;
        EXPECT_TRUE(Same(c.wantMax, info.maxValue)) << "row " << row;
    }
    const VQXPropertyInfoImpl blank;
    EXPECT_EQ(nullptr, blank.name);
    EXPECT_EQ(VQX_VARIANT_EMPTY, blank.defaultValue.type);
    EXPECT_EQ(72u, sizeof(VQXPropertyInfoImpl));  // the public record, nothing added
    EXPECT_EQ(16u, offsetof(VQXPropertyInfo, defaultValue));
    EXPECT_EQ(64u, offsetof(VQXPropertyInfo, allowChange));
    EXPECT_EQ(12u, sizeof(VQXEnumDescriptionEntry));
}

TEST(PropertyInfo, CopiesOwnTheirValuesAndBorrowTheTexts) {
    static const wchar_t kName[] = L"Title";
    std::optional<VQXPropertyInfoImpl> original;
    original.emplace(kName, L"a title", VQX_VARIANT_WSTRING, VQX_PROPERTY_CONTENT_DEFAULT, WText(L"untitled"),
                     VQXVariant(), VQXVariant(), true, nullptr);
    VQXPropertyInfoImpl copy(*original);
    EXPECT_EQ(kName, copy.name);  // the pointer, not a copy of the text
    EXPECT_NE(original->defaultValue.wstringValue, copy.defaultValue.wstringValue);
    original.reset();
    EXPECT_STREQ(L"untitled", copy.defaultValue.wstringValue);

    Opaque* object = CreateInstance<Opaque>();
    VQXPropertyInfoImpl holder = Info(L"P", VQX_VARIANT_INTERFACE, VQXVariant(object));
    EXPECT_EQ(2, object->GetRefCount());
    {
        VQXPropertyInfoImpl assigned;
        assigned = holder;
        EXPECT_EQ(3, object->GetRefCount());
        assigned = copy;  // the old interface is released
        EXPECT_EQ(2, object->GetRefCount());
        assigned = assigned;
        EXPECT_STREQ(L"untitled", assigned.defaultValue.wstringValue);
    }
    holder = copy;
    EXPECT_EQ(1, object->GetRefCount());
    object->Release();
}

TEST(PropertyComponent, SetConvertsChecksAndStoresOnlyWhatPasses) {
    RecordingListener::Log log;
    RecordingListener listener("L", &log);
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos(), &log);
    component->RegisterListener(&listener);
    const VQX_ERROR kOk = VQX_OK, kBad = VQX_INVALID_PARAMETER;
    const VQXVariant none;
    struct Case {
        const wchar_t* name;
        VQXVariant input;
        VQX_ERROR result;
        VQXVariant stored;  // after success
    };
    const Case cases[] = {
        {L"Level", Int(11), kBad, none},
        {L"Level", Int(-1), kBad, none},
        {L"Level", Int(std::numeric_limits<int64>::min()), kBad, none},
        {L"Level", Int(0), kOk, Int(0)},
        {L"Level", Int(10), kOk, Int(10)},
        {L"Level", Text("7"), kOk, Int(7)},
        {L"Level", VQXVariant::FromBool(true), kOk, Int(1)},
        {L"Level", Dbl(3.9), kOk, Int(3)},
        {L"Level", WText(L"0x0A"), kOk, Int(10)},
        {L"Free", Int(1000), kOk, Int(1000)},  // content other than default: no range check
        {L"Ratio", Dbl(1.0), kOk, Dbl(1.0)},
        {L"Ratio", Int(0), kOk, Dbl(0.0)},
        {L"Ratio", Dbl(1.0000001), kBad, none},
        {L"Ratio", Dbl(-0.0000001), kBad, none},
        {L"Ratio", Text("x"), kBad, none},
        {L"Speed", Text("Fast"), kOk, Int(1)},
        {L"Speed", WText(L"Slow"), kOk, Int(0)},
        {L"Speed", Int(1), kOk, Int(1)},
        {L"Speed", Text("-1"), kOk, Int(-1)},
        {L"Speed", Text("Reverse"), kOk, Int(-1)},
        {L"Speed", Int(0xFFFFFFFFll), kBad, none},  // not the widened -1
        {L"Speed", Int(2), kBad, none},
        {L"Speed", Text("fast"), kBad, none},
        {L"Speed", Text("Fast "), kBad, none},
        {L"Speed", none, kBad, none},
        {L"Mode", Int(3), kBad, none},
        {L"Mode", Text("x"), kBad, none},
        {L"Unknown", Int(1), VQX_PARAMETER_NOT_FOUND, none},
        {L"level", Int(1), VQX_PARAMETER_NOT_FOUND, none},
        {L"Locked", Int(1), static_cast<VQX_ERROR>(301), none},  // the component's own check
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << (&c - cases));
        const VQXVariant before = Read(component, c.name);
        const bool present = component->HasProperty(c.name);
        log.clear();
        EXPECT_EQ(c.result, component->SetProperty(c.name, c.input));
        if (c.result == VQX_OK) {
            EXPECT_TRUE(Same(c.stored, Read(component, c.name)));
            ASSERT_FALSE(log.empty());
            EXPECT_EQ((std::pair<std::string, std::wstring>("L", c.name)), log.back());
        } else {
            EXPECT_TRUE(Same(before, Read(component, c.name)));
            EXPECT_EQ(present, component->HasProperty(c.name));
            EXPECT_TRUE(log.empty());
        }
    }
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Ratio", Dbl(std::nan(""))));  // NaN passes both bounds
    EXPECT_TRUE(std::isnan(Read(component, L"Ratio").doubleValue));

    // The hook first (with the internal setter's "Shadow": no validation, no listener), then the listeners.
    log.clear();
    ASSERT_EQ(VQX_OK, component->SetProperty(L"Level", Int(4)));
    EXPECT_EQ((RecordingListener::Log{{"hook", L"Level"}, {"hook", L"Shadow"}, {"L", L"Level"}}), log);
    EXPECT_EQ(4, Read(component, L"Shadow").int64Value);  // its bounds are 0..0
    component->UnregisterListener(&listener);
}

TEST(PropertyComponent, DescriptionsAreTheRegisteredArrayItself) {
    std::vector<VQXPropertyInfoImpl> second = Int64Infos({{L"Other", 1}});
    VQXPtr<TestComponent> component = MakeComponent({});
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, component->SetProperty(L"Twin", Int(1)));  // nothing registered
    component->Infos() = Int64Infos({{L"Twin", 10}, {L"Other", 10}, {L"Twin", 100}});
    component->RegisterProperties(component->Infos().data(), 3);

    const VQXPropertyInfo* info = nullptr;
    ASSERT_EQ(VQX_OK, component->GetPropertyInfo(L"Twin", &info));
    EXPECT_EQ(static_cast<const VQXPropertyInfo*>(&component->Infos()[0]), info);
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Twin", Int(50)));  // the first description rules
    ASSERT_EQ(VQX_OK, component->GetPropertyInfo(2u, &info));
    EXPECT_EQ(100, info->maxValue.int64Value);
    const VQXPropertyInfo* untouched = nullptr;
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->GetPropertyInfo(3u, &untouched));
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, component->GetPropertyInfo(L"twin", &untouched));
    EXPECT_EQ(nullptr, untouched);

    // A description changed in place is what validation and defaults see from then on.
    VQXVariantAssignInt64(&component->Infos()[0].maxValue, 60);
    VQXVariantAssignInt64(&component->Infos()[1].defaultValue, 33);
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Twin", Int(50)));
    EXPECT_EQ(33, Read(component, L"Other").int64Value);

    // A new registration replaces the old one and keeps the values.
    EXPECT_EQ(VQX_OK, component->RegisterProperties(second.data(), 1));
    EXPECT_EQ(1u, component->GetPropertiesInfoCount());
    EXPECT_EQ(50, Read(component, L"Twin").int64Value);
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, component->SetProperty(L"Twin", Int(1)));
}

TEST(PropertyComponent, CopyToDiffersBetweenPlainAndValidatedSources) {
    TraceRecorder trace;
    VQXPtr<TestComponent> source = MakeComponent(Int64Infos({{L"A", 100}, {L"Level", 100}, {L"M", 1}, {L"Z", 100}}));
    source->SetProperty(L"A", Int(1));
    source->SetProperty(L"Level", Int(50));
    source->SetProperty(L"Z", Int(26));
    VQXPtr<TestComponent> dest = MakeComponent(Int64Infos({{L"A", 100}, {L"Level", 10}, {L"Z", 100}}));
    dest->SetProperty(L"Level", Int(3));

    EXPECT_EQ(VQX_OK, source->CopyTo(dest.get(), false));
    EXPECT_TRUE(trace.Entries().empty());
    EXPECT_EQ(1, Read(dest, L"A").int64Value);
    EXPECT_FALSE(dest->HasProperty(L"Level"));   // emptied, then left out: only set values travel
    EXPECT_EQ(26, Read(dest, L"Z").int64Value);  // the copy went on

    PlainStorage plain;
    source->CopyTo(&plain, false);
    EXPECT_EQ(3, plain.GetPropertyCount());  // "M" was never set
    EXPECT_EQ(VQX_INVALID_PARAMETER, plain.CopyTo(dest.get(), false));
    EXPECT_TRUE(dest->HasProperty(L"A"));
    EXPECT_FALSE(dest->HasProperty(L"Z"));  // the walk stopped at "Level"

    // A name the destination does not describe stops both kinds of copy.
    source->SetProperty(L"M", Int(1));
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, source->CopyTo(dest.get(), false));
    plain.Clear();
    plain.SetProperty(L"M", Int(1));
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, plain.AddTo(dest.get(), true, false));
    EXPECT_EQ(VQX_INVALID_PARAMETER, source->AddTo(nullptr, true, false));
    const std::vector<std::wstring> traced = {L"VQXPropertyStorageImpl : CopyTo() - failed to copy property=Level",
                                              L"VQXPropertyStorageExImpl : AddTo() - failed to copy property=M",
                                              L"VQXPropertyStorageImpl : CopyTo() - failed to copy property=M",
                                              L"VQXPropertyStorageExImpl : CopyTo() - Invalid Param"};
    EXPECT_EQ(trace.Lines(), traced);
    EXPECT_EQ(VQX_OK, source->CopyTo(source.get(), true));
    EXPECT_EQ(4, source->GetPropertyCount());
}

TEST(PropertyComponent, DeepCopiesDuplicateInterfaceValues) {
    const std::vector<VQXPropertyInfoImpl> infos = {Info(L"Buffer", VQX_VARIANT_INTERFACE, VQXVariant())};
    VQXPtr<TestComponent> source = MakeComponent(infos), deep = MakeComponent(infos);
    Buffer* buffer = CreateInstance<Buffer>();
    ASSERT_EQ(VQX_OK, source->SetProperty(L"Buffer", VQXVariant(buffer)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, source->SetProperty(L"Buffer", Int(1)));  // not an interface
    EXPECT_EQ(VQX_OK, source->CopyTo(deep.get(), true));
    VQXVariant copied = Read(deep, L"Buffer");
    ASSERT_EQ(VQX_VARIANT_INTERFACE, copied.type);
    EXPECT_NE(static_cast<VQXInterface*>(buffer), copied.pInterface);
    EXPECT_EQ(2, RefCount(copied.pInterface));  // the destination's and ours in `copied`
    EXPECT_EQ(2, buffer->GetRefCount());
    copied = VQXVariant();
    deep.reset();
    source.reset();
    EXPECT_EQ(1, Buffer::Alive());
    EXPECT_EQ(1, buffer->GetRefCount());
    buffer->Release();
}

TEST(PropertyComponent, StorageCopiesShareTheDescriptionArrayAndOwnTheirValues) {
    struct Storage : VQXPropertyStorageExImpl {
        int32 VQX_CALL Acquire() override { return 1; }
        int32 VQX_CALL Release() override { return 1; }
        VQX_ERROR VQX_CALL QueryInterface(const wchar_t*, void**) override { return VQX_NO_INTERFACE; }
    } original, assigned;
    std::vector<VQXPropertyInfoImpl> infos = StandardInfos();
    original.RegisterProperties(infos.data(), static_cast<uint32>(infos.size()));
    original.SetProperty(L"Level", Int(2));
    Storage copy(original);
    const VQXPropertyInfo* a = nullptr;
    const VQXPropertyInfo* b = nullptr;
    original.GetPropertyInfo(L"Ratio", &a);
    copy.GetPropertyInfo(L"Ratio", &b);
    EXPECT_EQ(a, b);
    copy.SetProperty(L"Level", Int(3));
    EXPECT_EQ(2, Read(original, L"Level").int64Value);
    assigned = copy;
    EXPECT_EQ(8u, assigned.GetPropertiesInfoCount());
    EXPECT_EQ(3, Read(assigned, L"Level").int64Value);
}
