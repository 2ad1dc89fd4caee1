// The validated storage and the component template, as a host sees them through vqx.dll.
#include "property_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace vqx;
using namespace vqx_test;

namespace {

std::vector<VQXPropertyInfoImpl> StandardInfos() {
    std::vector<VQXPropertyInfoImpl> infos;
    infos.push_back(Int64Info(L"Level", 5, 0, 10));
    infos.push_back(DoubleInfo(L"Ratio", 0.5, 0.0, 1.0));
    infos.push_back(SpeedInfo());
    infos.push_back(SimpleInfo(L"Name", VQX_VARIANT_WSTRING, WText(L"none")));
    infos.push_back(Int64Info(L"Free", 0, 0, 10, static_cast<VQX_PROPERTY_CONTENT_TYPE>(1)));
    infos.push_back(Int64Info(L"Shadow", 0, 0, 0));
    infos.push_back(Int64Info(L"Locked", 0, 0, 10));
    infos.push_back(Int64Info(L"Mode", 3, 0, 0, VQX_PROPERTY_CONTENT_ENUM));  // no entry array
    return infos;
}

std::vector<VQXPropertyInfoImpl> Int64Infos(std::initializer_list<std::pair<const wchar_t*, int64>> maxima) {
    std::vector<VQXPropertyInfoImpl> infos;
    for (const auto& [name, max] : maxima) infos.push_back(Int64Info(name, 7, 0, max));
    return infos;
}

}  // namespace

TEST(PropertyComponent, QueryInterfaceAnswersExactlyTheFourIdentifiers) {
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos());
    const std::pair<const wchar_t*, void*> expected[] = {
        {L"\"VQXUnknown\"", static_cast<VQXInterface*>(component.get())},
        {L"\"ITestComponent\"", static_cast<ITestComponent*>(component.get())},
        {L"\"VQXPropertyStorage\"", static_cast<VQXPropertyStorage*>(component.get())},
        {L"\"VQXPropertyStorageEx\"", static_cast<VQXPropertyStorageEx*>(component.get())},
    };
    for (const auto& [id, part] : expected) {
        void* out = nullptr;
        ASSERT_EQ(VQX_OK, component->QueryInterface(id, &out)) << id;
        EXPECT_EQ(part, out) << id;
        EXPECT_EQ(2, component->GetRefCount());
        static_cast<VQXInterface*>(component.get())->Release();
    }
    void* untouched = nullptr;
    for (const wchar_t* id : {L"\"VQXClonable\"", L"VQXPropertyStorageEx", L"\"vqxpropertystorage\"", L""}) {
        EXPECT_EQ(VQX_NO_INTERFACE, component->QueryInterface(id, &untouched)) << id;
    }
    EXPECT_EQ(nullptr, untouched);

    // The storage operations answer through the interface part as well.
    void* part = nullptr;
    ASSERT_EQ(VQX_OK, component->QueryInterface(L"\"VQXPropertyStorageEx\"", &part));
    VQXPtr<VQXPropertyStorageEx> ex = VQXPtr<VQXPropertyStorageEx>::Adopt(static_cast<VQXPropertyStorageEx*>(part));
    EXPECT_EQ(VQX_OK, ex->SetProperty(L"Level", Int(3)));
    EXPECT_EQ(8u, ex->GetPropertiesInfoCount());
    EXPECT_EQ(42, component->Answer());
    ex.reset();
    EXPECT_EQ(1, component->GetRefCount());
}

TEST(PropertyComponent, NumbersAreConvertedAndRangeChecked) {
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos());
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Level", Int(11)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Level", Int(-1)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Level", Int(std::numeric_limits<int64>::min())));
    EXPECT_FALSE(component->HasProperty(L"Level"));
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Level", Int(0)));
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Level", Int(10)));
    const std::pair<VQXVariant, int64> cases[] = {
        {Text("7"), 7}, {VQXVariant::FromBool(true), 1}, {VQXVariant::FromDouble(3.9), 3}, {WText(L"0x0A"), 10}};
    for (const auto& [input, stored] : cases) {
        ASSERT_EQ(VQX_OK, component->SetProperty(L"Level", input));
        EXPECT_EQ(VQX_VARIANT_INT64, Read(component, L"Level").type);
        EXPECT_EQ(stored, Read(component, L"Level").int64Value);
    }
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Free", Int(1000)));  // other content: no range check

    EXPECT_EQ(VQX_OK, component->SetProperty(L"Ratio", VQXVariant::FromDouble(1.0)));
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Ratio", Int(0)));
    EXPECT_EQ(VQX_VARIANT_DOUBLE, Read(component, L"Ratio").type);
    EXPECT_EQ(VQX_OK, component->SetProperty(L"Ratio", VQXVariant::FromDouble(std::nan(""))));
    EXPECT_TRUE(std::isnan(Read(component, L"Ratio").doubleValue));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Ratio", VQXVariant::FromDouble(1.0000001)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Ratio", VQXVariant::FromDouble(-0.0000001)));
}

TEST(PropertyComponent, EnumerationsMatchValuesAndExactNames) {
    VQXPtr<TestComponent> component = MakeComponent(StandardInfos());
    const std::pair<VQXVariant, int64> accepted[] = {
        {Text("Fast"), 1}, {WText(L"Slow"), 0}, {Int(1), 1}, {Text("-1"), -1}, {Text("Reverse"), -1}};
    for (const auto& [input, stored] : accepted) {
        ASSERT_EQ(VQX_OK, component->SetProperty(L"Speed", input));
        EXPECT_EQ(stored, Read(component, L"Speed").int64Value);
    }
    // 0xFFFFFFFF is not the widened -1; names are exact and case-sensitive.
    for (const VQXVariant& refused : {Int(0xFFFFFFFFll), Int(2), Text("fast"), Text("Fast "), VQXVariant()}) {
        EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Speed", refused));
    }
    EXPECT_EQ(-1, Read(component, L"Speed").int64Value);
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Mode", Int(3)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Mode", Text("x")));
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
    EXPECT_EQ(VQX_INVALID_PARAMETER, component->SetProperty(L"Ratio", Text("x")));
    EXPECT_EQ(301, component->SetProperty(L"Locked", Int(1)));  // the component's own check
    EXPECT_TRUE(log.empty());
    EXPECT_DOUBLE_EQ(0.25, Read(component, L"Ratio").doubleValue);
    EXPECT_EQ(1, component->GetPropertyCount());

    // Accepted: the hook first (with the internal setter's "Shadow": no validation, no
    // listener), then the listeners.
    ASSERT_EQ(VQX_OK, component->SetProperty(L"Level", Int(4)));
    EXPECT_EQ((RecordingListener::Log{{"hook", L"Level"}, {"hook", L"Shadow"}, {"L", L"Level"}}), log);
    EXPECT_EQ(4, Read(component, L"Shadow").int64Value);  // its bounds are 0..0
    component->UnregisterListener(&listener);
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
    TraceCapture capture;
    VQXPtr<TestComponent> source = MakeComponent(Int64Infos({{L"A", 100}, {L"Level", 100}, {L"M", 1}, {L"Z", 100}}));
    source->SetProperty(L"A", Int(1));
    source->SetProperty(L"Level", Int(50));
    source->SetProperty(L"Z", Int(26));
    VQXPtr<TestComponent> dest = MakeComponent(Int64Infos({{L"A", 100}, {L"Level", 10}, {L"Z", 100}}));
    dest->SetProperty(L"Level", Int(3));

    EXPECT_EQ(VQX_OK, source->CopyTo(dest.get(), false));
    EXPECT_TRUE(capture.Records().empty());
    EXPECT_EQ(1, Read(dest, L"A").int64Value);
    EXPECT_FALSE(dest->HasProperty(L"Level"));  // emptied, then left out: only set values travel
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
    const std::wstring ex = L"VQXPropertyStorageExImpl";
    const std::wstring impl = L"VQXPropertyStorageImpl";
    EXPECT_EQ((Records{{impl, L"CopyTo() - failed to copy property=Level"},
                       {ex, L"AddTo() - failed to copy property=M"},
                       {impl, L"CopyTo() - failed to copy property=M"},
                       {ex, L"CopyTo() - Invalid Param"}}),
              capture.Records());
    EXPECT_EQ(VQX_OK, source->CopyTo(source.get(), true));
    EXPECT_EQ(4, source->GetPropertyCount());
}

TEST(PropertyComponent, DeepCopiesDuplicateInterfaceValues) {
    std::vector<VQXPropertyInfoImpl> infos;
    infos.push_back(SimpleInfo(L"Buffer", VQX_VARIANT_INTERFACE, VQXVariant()));
    VQXPtr<TestComponent> source = MakeComponent(infos);
    Buffer* buffer = CreateInstance<Buffer>(8);
    ASSERT_EQ(VQX_OK, source->SetProperty(L"Buffer", VQXVariant(buffer)));
    EXPECT_EQ(VQX_INVALID_PARAMETER, source->SetProperty(L"Buffer", Int(1)));  // not an interface
    EXPECT_EQ(2, buffer->GetRefCount());

    VQXPtr<TestComponent> deep = MakeComponent(infos);
    EXPECT_EQ(VQX_OK, source->CopyTo(deep.get(), true));
    VQXVariant copied = Read(deep, L"Buffer");
    ASSERT_EQ(VQX_VARIANT_INTERFACE, copied.type);
    EXPECT_NE(static_cast<VQXInterface*>(buffer), copied.pInterface);
    EXPECT_EQ(2, RefCount(copied.pInterface));  // the destination's and ours in `copied`
    EXPECT_EQ(2, buffer->GetRefCount());
    copied = VQXVariant();
    deep.reset();
    EXPECT_EQ(1, Buffer::Alive());
    source.reset();
    EXPECT_EQ(1, buffer->GetRefCount());
    buffer->Release();
}

TEST(PropertyComponent, StorageCopiesShareTheDescriptionArray) {
    class Storage : public VQXPropertyStorageExImpl {
    public:
        int32 VQX_CALL Acquire() override { return 1; }
        int32 VQX_CALL Release() override { return 1; }
        VQX_ERROR VQX_CALL QueryInterface(const wchar_t*, void**) override { return VQX_NO_INTERFACE; }
    };
    std::vector<VQXPropertyInfoImpl> infos = StandardInfos();
    Storage original;
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
    Storage assigned;
    assigned = copy;
    EXPECT_EQ(8u, assigned.GetPropertiesInfoCount());
    EXPECT_EQ(3, Read(assigned, L"Level").int64Value);
}
