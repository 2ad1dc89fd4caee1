// The validated storage and the component template, as a host sees them through vqx.dll.
#include "property_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace vqx;
using namespace vqx_test;

namespace {

using Records = std::vector<std::pair<std::wstring, std::wstring>>;

std::vector<VQXPropertyInfoImpl> StandardInfos() {
    std::vector<VQXPropertyInfoImpl> infos;
    infos.push_back(Int64Info(L"Level", 5, 0, 10));
    infos.push_back(DoubleInfo(L"Ratio", 0.5, 0.0, 1.0));
    infos.push_back(SpeedInfo());
    infos.push_back(SimpleInfo(L"Name", VQX_VARIANT_WSTRING, WText(L"none")));
    infos.push_back(SimpleInfo(L"Flag", VQX_VARIANT_BOOL, VQXVariant::FromBool(false)));
    infos.push_back(Int64Info(L"Free", 0, 0, 10, static_cast<VQX_PROPERTY_CONTENT_TYPE>(1)));
    infos.push_back(Int64Info(L"Shadow", 0, 0, 0));
    infos.push_back(Int64Info(L"Locked", 0, 0, 10));
    return infos;
}

}  // namespace

TEST(PropertyComponent, QueryInterfaceAnswersExactlyTheFourIdentifiers) {
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos());
    struct Expected {
        const wchar_t* id;
        void* part;
    } expected[] = {
        {L"\"VQXUnknown\"", static_cast<VQXInterface*>(component.get())},
        {L"\"ITestComponent\"", static_cast<ITestComponent*>(component.get())},
        {L"\"VQXPropertyStorage\"", static_cast<VQXPropertyStorage*>(component.get())},
        {L"\"VQXPropertyStorageEx\"", static_cast<VQXPropertyStorageEx*>(component.get())},
    };
    for (const Expected& each : expected) {
        void* out = nullptr;
        ASSERT_EQ(VQX_OK, component->QueryInterface(each.id, &out)) << each.id;
        EXPECT_EQ(each.part, out) << each.id;
        EXPECT_EQ(2, component->GetRefCount());
        static_cast<VQXInterface*>(component.get())->Release();
    }
    void* untouched = nullptr;
    for (const wchar_t* id : {L"\"VQXClonable\"", L"\"VQXEncoderKLTZEP\"", L"VQXPropertyStorageEx",
                              L"\"vqxpropertystorage\"", L""}) {
        EXPECT_EQ(VQX_NO_INTERFACE, component->QueryInterface(id, &untouched)) << id;
    }
    EXPECT_EQ(nullptr, untouched);
    EXPECT_EQ(1, component->GetRefCount());

    // Operations reach the storage implementation through every interface part.
    void* storageEx = nullptr;
    ASSERT_EQ(VQX_OK, component->QueryInterface(L"\"VQXPropertyStorageEx\"", &storageEx));
    VQXPtr<VQXPropertyStorageEx> ex = VQXPtr<VQXPropertyStorageEx>::Adopt(static_cast<VQXPropertyStorageEx*>(storageEx));
    EXPECT_EQ(VQX_OK, ex->SetProperty(L"Level", Int(3)));
    EXPECT_EQ(8u, ex->GetPropertiesInfoCount());
    EXPECT_EQ(42, component->Answer());
    ex.reset();
    EXPECT_EQ(1, component->GetRefCount());
}

TEST(PropertyComponent, IntegerValuesAreConvertedAndRangeChecked) {
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos());
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Level", Int(11)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Level", Int(-1)));
    EXPECT_FALSE(component->HasProperty(L"Level"));
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Level", Int(10)));
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Level", Int(0)));

    struct Case {
        VQXVariant input;
        int64 stored;
    } cases[] = {{Text("7"), 7}, {VQXVariant::FromBool(true), 1}, {VQXVariant::FromDouble(3.9), 3},
                 {WText(L"0x0A"), 10}};
    for (const Case& each : cases) {
        ASSERT_EQ(VQX_OK, component->SetProperty(L"Level", each.input));
        const VQXVariant stored = Read(component, L"Level");
        EXPECT_EQ(VQX_VARIANT_INT64, stored.type);
        EXPECT_EQ(each.stored, stored.int64Value);
    }
    // Out of 32-bit and 64-bit reach: a huge value is still just out of range.
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Level", Int(std::numeric_limits<int64>::min())));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Level", Text("abc")));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Level", VQXVariant()));
    EXPECT_EQ(10, Read(component, L"Level").int64Value);
    // Content other than the default switches the range check off.
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Free", Int(1000)));
    EXPECT_EQ(1000, Read(component, L"Free").int64Value);
}

TEST(PropertyComponent, RefusedValuesChangeNothingAndNotifyNobody) {
    RecordingListener::Log log;
    RecordingListener listener("L", &log);
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos(), &log);
    component->RegisterListener(&listener);
    ASSERT_EQ(VQX_OK, component->SetProperty(L"Ratio", VQXVariant::FromDouble(0.25)));
    log.clear();
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, component->SetProperty(L"Unknown", Int(1)));
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, component->SetProperty(L"level", Int(1)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Ratio", VQXVariant::FromDouble(1.0000001)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Ratio", Text("x")));
    EXPECT_EQ(301, component->SetProperty(L"Locked", Int(1)));  // the component's own check
    EXPECT_TRUE(log.empty());
    EXPECT_DOUBLE_EQ(0.25, Read(component, L"Ratio").doubleValue);
    EXPECT_FALSE(component->HasProperty(L"Unknown"));
    EXPECT_FALSE(component->HasProperty(L"Locked"));
    component->UnregisterListener(&listener);
}

TEST(PropertyComponent, HookRunsBeforeListenersAndInternalSetterSkipsThem) {
    RecordingListener::Log log;
    RecordingListener listener("L", &log);
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos(), &log);
    component->RegisterListener(&listener);
    ASSERT_EQ(VQX_OK, component->SetProperty(L"Level", Int(4)));
    // "Shadow" (bounds 0..0) takes 4 through the internal setter: no validation, no listener.
    EXPECT_EQ((RecordingListener::Log{{"hook", L"Level"}, {"hook", L"Shadow"}, {"L", L"Level"}}), log);
    EXPECT_EQ(4, Read(component, L"Shadow").int64Value);
    component->UnregisterListener(&listener);
}

TEST(PropertyComponent, DoubleBoundsAreInclusiveAndNaNPasses) {
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos());
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Ratio", VQXVariant::FromDouble(1.0)));
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Ratio", VQXVariant::FromDouble(0.0)));
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Ratio", VQXVariant::FromDouble(std::nan(""))));
    EXPECT_TRUE(std::isnan(Read(component, L"Ratio").doubleValue));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Ratio", VQXVariant::FromDouble(-0.0000001)));
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Ratio", Int(1)));
    EXPECT_EQ(VQX_VARIANT_DOUBLE, Read(component, L"Ratio").type);
}

TEST(PropertyComponent, EnumerationsMatchValuesAndExactNames) {
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos());
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Speed", Text("Fast")));
    EXPECT_EQ(1, Read(component, L"Speed").int64Value);
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Speed", WText(L"Slow")));
    EXPECT_EQ(0, Read(component, L"Speed").int64Value);
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Speed", Int(1)));
    EXPECT_EQ(1, Read(component, L"Speed").int64Value);
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Speed", Text("-1")));  // a number first, then a name
    EXPECT_EQ(-1, Read(component, L"Speed").int64Value);
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Speed", Text("Reverse")));
    EXPECT_EQ(-1, Read(component, L"Speed").int64Value);
    // The widened value -1 is not 4294967295.
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Speed", Int(0xFFFFFFFFll)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Speed", Int(2)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Speed", Text("fast")));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Speed", Text("Fast ")));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Speed", VQXVariant()));
    EXPECT_EQ(-1, Read(component, L"Speed").int64Value);
}

TEST(PropertyComponent, EnumerationWithoutEntriesAcceptsNothing) {
    std::vector<VQXPropertyInfoImpl> infos;
    infos.push_back(Int64Info(L"Mode", 3, 0, 0, VQX_PROPERTY_CONTENT_ENUM));
    VQXPtr<TestComponent> component = MakeComponent(std::move(infos));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Mode", Int(3)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Mode", Text("x")));
}

TEST(PropertyComponent, UnsetPropertiesAnswerTheirDefaultButAreNotPresent) {
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos());
    EXPECT_EQ(5, Read(component, L"Level").int64Value);
    EXPECT_STREQ(L"none", Read(component, L"Name").wstringValue);
    EXPECT_FALSE(component->HasProperty(L"Level"));
    EXPECT_EQ(0, component->GetPropertyCount());
    VQXVariant untouched = Int(9);
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, component->GetProperty(L"Unknown", &untouched));
    EXPECT_EQ(9, untouched.int64Value);

    component->SetProperty(L"Level", Int(7));
    component->SetProperty(L"Name", WText(L"set"));
    EXPECT_EQ(3, component->GetPropertyCount());  // with "Shadow" from the hook
    EXPECT_EQ(VQX_OK, component->Clear());
    EXPECT_EQ(0, component->GetPropertyCount());
    EXPECT_EQ(5, Read(component, L"Level").int64Value);
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Level", Int(8)));  // registration kept
}

TEST(PropertyComponent, DescriptionsAreFoundByNameAndIndex) {
    std::vector<VQXPropertyInfoImpl> infos;
    infos.push_back(Int64Info(L"Twin", 1, 0, 10));
    infos.push_back(Int64Info(L"Other", 0, 0, 10));
    infos.push_back(Int64Info(L"Twin", 2, 0, 100));
    VQXPtr<TestComponent> component = MakeComponent(std::move(infos));
    const VQXPropertyInfo* info = nullptr;
    ASSERT_EQ(VQX_OK, component->GetPropertyInfo(L"Twin", &info));
    EXPECT_EQ(static_cast<const VQXPropertyInfo*>(&component->Infos()[0]), info);  // the array itself, not a copy
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Twin", Int(50)));  // first description rules
    ASSERT_EQ(VQX_OK, component->GetPropertyInfo(2u, &info));
    EXPECT_EQ(100, info->maxValue.int64Value);
    const VQXPropertyInfo* untouched = nullptr;
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->GetPropertyInfo(3u, &untouched));
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, component->GetPropertyInfo(L"twin", &untouched));
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, component->GetPropertyInfo(static_cast<const wchar_t*>(nullptr), &untouched));
    EXPECT_EQ(nullptr, untouched);

    // A description changed in place is what validation and defaults see from then on.
    VQXVariantAssignInt64(&component->Infos()[0].maxValue, 60);
    VQXVariantAssignInt64(&component->Infos()[1].defaultValue, 33);
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Twin", Int(50)));
    EXPECT_EQ(33, Read(component, L"Other").int64Value);
}

TEST(PropertyComponent, RegistrationReplacesDescriptionsAndKeepsValues) {
    std::vector<VQXPropertyInfoImpl> first = StandardInfos();
    std::vector<VQXPropertyInfoImpl> second;
    second.push_back(Int64Info(L"Other", 0, 0, 1));
    VQXPtr<TestComponent> component = MakeComponent({});
    EXPECT_EQ(0u, component->GetPropertiesInfoCount());
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, component->SetProperty(L"Level", Int(1)));
    const VQXPropertyInfo* info = nullptr;
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->GetPropertyInfo(0u, &info));

    EXPECT_EQ(VQX_OK, component->RegisterProperties(first.data(), 1));
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Level", Int(9)));
    EXPECT_EQ(VQX_OK, component->RegisterProperties(second.data(), 1));
    EXPECT_EQ(1u, component->GetPropertiesInfoCount());
    EXPECT_EQ(9, Read(component, L"Level").int64Value);  // the value stays
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, component->SetProperty(L"Level", Int(1)));
    EXPECT_EQ(1, component->GetPropertyCount());
}

TEST(PropertyComponent, CopyToDiffersBetweenPlainAndValidatedSources) {
    TraceCapture capture;
    std::vector<VQXPropertyInfoImpl> wide;
    wide.push_back(Int64Info(L"A", 0, 0, 100));
    wide.push_back(Int64Info(L"Level", 0, 0, 100));
    wide.push_back(Int64Info(L"Z", 0, 0, 100));
    std::vector<VQXPropertyInfoImpl> narrow;
    narrow.push_back(Int64Info(L"A", 0, 0, 100));
    narrow.push_back(Int64Info(L"Level", 7, 0, 10));
    narrow.push_back(Int64Info(L"Z", 0, 0, 100));

    VQXPtr<TestComponent> source = MakeComponent(std::move(wide));
    source->SetProperty(L"A", Int(1));
    source->SetProperty(L"Level", Int(50));
    source->SetProperty(L"Z", Int(26));
    VQXPtr<TestComponent> dest = MakeComponent(std::move(narrow));
    dest->SetProperty(L"Level", Int(3));

    EXPECT_EQ(VQX_OK, source->CopyTo(dest.get(), false));
    EXPECT_TRUE(capture.Records().empty());
    EXPECT_EQ(1, Read(dest, L"A").int64Value);
    EXPECT_FALSE(dest->HasProperty(L"Level"));   // emptied, then left out
    EXPECT_EQ(7, Read(dest, L"Level").int64Value);
    EXPECT_EQ(26, Read(dest, L"Z").int64Value);  // the copy went on

    PlainStorage plain;
    plain.SetProperty(L"A", Int(1));
    plain.SetProperty(L"Level", Int(50));
    plain.SetProperty(L"Z", Int(26));
    EXPECT_EQ(VQX_INVALID_PARAMETER, plain.CopyTo(dest.get(), false));
    EXPECT_EQ((Records{{L"VQXPropertyStorageImpl", L"CopyTo() - failed to copy property=Level"}}), capture.Records());
    EXPECT_TRUE(dest->HasProperty(L"A"));
    EXPECT_FALSE(dest->HasProperty(L"Z"));  // the walk stopped

    // A name the destination does not describe stops both kinds of copy.
    source->Infos().push_back(Int64Info(L"M", 0, 0, 1));  // reallocates: register again
    source->RegisterProperties(source->Infos().data(), static_cast<uint32>(source->Infos().size()));
    source->SetProperty(L"M", Int(1));
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, source->CopyTo(dest.get(), false));
    EXPECT_EQ((std::pair<std::wstring, std::wstring>{L"VQXPropertyStorageExImpl", L"AddTo() - failed to copy property=M"}),
              capture.Records().back());
    PlainStorage undescribed;
    undescribed.SetProperty(L"M", Int(1));
    EXPECT_EQ(VQX_PARAMETER_NOT_FOUND, undescribed.AddTo(dest.get(), true, false));

    EXPECT_EQ(VQX_INVALID_PARAMETER, source->AddTo(nullptr, true, false));
    EXPECT_EQ((std::pair<std::wstring, std::wstring>{L"VQXPropertyStorageExImpl", L"CopyTo() - Invalid Param"}),
              capture.Records().back());
    EXPECT_EQ(VQX_OK, source->CopyTo(source.get(), true));
    EXPECT_EQ(4, source->GetPropertyCount());
}

TEST(PropertyComponent, OnlySetValuesTravelAndDeepCopiesDuplicate) {
    std::vector<VQXPropertyInfoImpl> infos;
    infos.push_back(SimpleInfo(L"Buffer", VQX_VARIANT_INTERFACE, VQXVariant()));
    infos.push_back(Int64Info(L"Level", 5, 0, 10));
    VQXPtr<TestComponent> source = MakeComponent(infos);
    Buffer* buffer = CreateInstance<Buffer>(8);
    ASSERT_EQ(VQX_OK, source->SetProperty(L"Buffer", VQXVariant(buffer)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, source->SetProperty(L"Buffer", Int(1)));  // not an interface
    EXPECT_EQ(2, buffer->GetRefCount());

    PlainStorage shallow;
    EXPECT_EQ(VQX_OK, source->CopyTo(&shallow, false));
    EXPECT_EQ(1, shallow.GetPropertyCount());  // "Level" only has a default
    EXPECT_EQ(static_cast<VQXInterface*>(buffer), shallow.HeldInterface(L"Buffer"));
    EXPECT_EQ(3, buffer->GetRefCount());

    VQXPtr<TestComponent> deep = MakeComponent(infos);
    EXPECT_EQ(VQX_OK, source->CopyTo(deep.get(), true));
    VQXVariant copied = Read(deep, L"Buffer");
    ASSERT_EQ(VQX_VARIANT_INTERFACE, copied.type);
    EXPECT_NE(static_cast<VQXInterface*>(buffer), copied.pInterface);
    EXPECT_EQ(2, RefCount(copied.pInterface));  // the destination's and ours in `copied`
    EXPECT_EQ(3, buffer->GetRefCount());
    copied = VQXVariant();
    deep.reset();
    EXPECT_EQ(1, Buffer::Alive());
    shallow.Clear();
    source.reset();
    EXPECT_EQ(1, buffer->GetRefCount());
    buffer->Release();
}

TEST(PropertyComponent, ValidatedStorageCopiesShareTheDescriptionArray) {
    class Storage : public VQXPropertyStorageExImpl {
    public:
        int32 VQX_CALL Acquire() override { return 1; }
        int32 VQX_CALL Release() override { return 1; }
        VQX_ERROR VQX_CALL QueryInterface(const wchar_t*, void**) override { return VQX_NO_INTERFACE; }
    };
    std::vector<VQXPropertyInfoImpl> infos = StandardInfos();
    RecordingListener::Log log;
    RecordingListener listener("L", &log);
    Storage original;
    original.RegisterProperties(infos.data(), static_cast<uint32>(infos.size()));
    original.RegisterListener(&listener);
    original.SetProperty(L"Level", Int(2));
    Storage copy(original);
    const VQXPropertyInfo* a = nullptr;
    const VQXPropertyInfo* b = nullptr;
    original.GetPropertyInfo(L"Ratio", &a);
    copy.GetPropertyInfo(L"Ratio", &b);
    EXPECT_EQ(a, b);
    EXPECT_EQ(2, Read(copy, L"Level").int64Value);
    copy.SetProperty(L"Level", Int(3));
    EXPECT_EQ(2, Read(original, L"Level").int64Value);
    EXPECT_EQ((RecordingListener::Log{{"L", L"Level"}, {"L", L"Level"}}), log);
    Storage assigned;
    assigned = copy;
    EXPECT_EQ(8u, assigned.GetPropertiesInfoCount());
    EXPECT_EQ(3, Read(assigned, L"Level").int64Value);
    for (Storage* storage : {&original, &copy, &assigned}) storage->UnregisterListener(&listener);
}
