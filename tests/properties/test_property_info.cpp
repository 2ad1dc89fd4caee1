// How a description settles its default, minimum and maximum, and how it owns them.
#include "property_test_support.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>

using namespace vqx;
using namespace vqx_test;

namespace {

VQXPropertyInfoImpl Describe(VQX_VARIANT_TYPE type, const VQXVARIANT& def, const VQXVARIANT& min = VQXVariant(),
                             const VQXVARIANT& max = VQXVariant(),
                             VQX_PROPERTY_CONTENT_TYPE content = VQX_PROPERTY_CONTENT_DEFAULT,
                             const VQXEnumDescriptionEntry* entries = nullptr) {
    return VQXPropertyInfoImpl(L"P", L"described", type, content, def, min, max, true, entries);
}

}  // namespace

TEST(PropertyInfo, RecordLayoutIsTheDescriptionRecord) {
    EXPECT_EQ(sizeof(VQXPropertyInfo), sizeof(VQXPropertyInfoImpl));
    EXPECT_EQ(72u, sizeof(VQXPropertyInfo));
    EXPECT_EQ(16u, offsetof(VQXPropertyInfo, defaultValue));
    EXPECT_EQ(64u, offsetof(VQXPropertyInfo, allowChange));
    EXPECT_EQ(12u, sizeof(VQXEnumDescriptionEntry));
}

TEST(PropertyInfo, IntegerFallbacksAreTheSigned32BitRange) {
    const VQXPropertyInfoImpl info = Describe(VQX_VARIANT_INT64, Text("abc"));
    EXPECT_EQ(VQX_VARIANT_INT64, info.defaultValue.type);
    EXPECT_EQ(0, info.defaultValue.int64Value);
    EXPECT_EQ(-2147483648ll, info.minValue.int64Value);
    EXPECT_EQ(2147483647ll, info.maxValue.int64Value);

    const VQXPropertyInfoImpl converted = Describe(VQX_VARIANT_INT64, WText(L"12"), Text("-5"), VQXVariant::FromDouble(9.7));
    EXPECT_EQ(12, converted.defaultValue.int64Value);
    EXPECT_EQ(-5, converted.minValue.int64Value);
    EXPECT_EQ(9, converted.maxValue.int64Value);
    // Bounds beyond 32 bits given explicitly are kept.
    const VQXPropertyInfoImpl wide = Describe(VQX_VARIANT_INT64, Int(0), Int(-(1ll << 40)), Int(1ll << 40));
    EXPECT_EQ(-(1ll << 40), wide.minValue.int64Value);
    EXPECT_EQ(1ll << 40, wide.maxValue.int64Value);
}

TEST(PropertyInfo, DoubleFallbacks) {
    const VQXPropertyInfoImpl info = Describe(VQX_VARIANT_DOUBLE, VQXVariant());
    EXPECT_EQ(VQX_VARIANT_DOUBLE, info.defaultValue.type);
    EXPECT_EQ(0.0, info.defaultValue.doubleValue);
    EXPECT_EQ(-2147483648.0, info.minValue.doubleValue);
    EXPECT_EQ(2147483647.0, info.maxValue.doubleValue);
    const VQXPropertyInfoImpl converted = Describe(VQX_VARIANT_DOUBLE, Text("1e3"), Int(-1), Text("2.5"));
    EXPECT_EQ(1000.0, converted.defaultValue.doubleValue);
    EXPECT_EQ(-1.0, converted.minValue.doubleValue);
    EXPECT_EQ(2.5, converted.maxValue.doubleValue);
}

TEST(PropertyInfo, KindsWithoutBoundsKeepThemEmpty) {
    const VQXPropertyInfoImpl flag = Describe(VQX_VARIANT_BOOL, Text("maybe"), Int(0), Int(1));
    EXPECT_EQ(VQX_VARIANT_BOOL, flag.defaultValue.type);
    EXPECT_FALSE(flag.defaultValue.boolValue);
    EXPECT_EQ(VQX_VARIANT_EMPTY, flag.minValue.type);
    EXPECT_EQ(VQX_VARIANT_EMPTY, flag.maxValue.type);
    EXPECT_TRUE(Describe(VQX_VARIANT_BOOL, Text("True")).defaultValue.boolValue);

    const VQXPropertyInfoImpl text = Describe(VQX_VARIANT_STRING, VQXVariant());
    ASSERT_EQ(VQX_VARIANT_STRING, text.defaultValue.type);
    EXPECT_STREQ("", text.defaultValue.stringValue);
    EXPECT_STREQ("-5", Describe(VQX_VARIANT_STRING, Int(-5)).defaultValue.stringValue);

    const VQXPropertyInfoImpl wide = Describe(VQX_VARIANT_WSTRING, VQXVariant(), Int(0), Int(1));
    ASSERT_EQ(VQX_VARIANT_WSTRING, wide.defaultValue.type);
    EXPECT_STREQ(L"", wide.defaultValue.wstringValue);
    EXPECT_EQ(VQX_VARIANT_EMPTY, wide.minValue.type);

    // An interface description without an interface default gets an empty wide text.
    const VQXPropertyInfoImpl object = Describe(VQX_VARIANT_INTERFACE, Int(3));
    ASSERT_EQ(VQX_VARIANT_WSTRING, object.defaultValue.type);
    EXPECT_STREQ(L"", object.defaultValue.wstringValue);
}

TEST(PropertyInfo, EnumerationDefaultsToItsFirstEntry) {
    const VQXPropertyInfoImpl byName = Describe(VQX_VARIANT_INT64, Text("Fast"), Int(0), Int(1),
                                                VQX_PROPERTY_CONTENT_ENUM, SpeedEntries());
    EXPECT_EQ(1, byName.defaultValue.int64Value);
    EXPECT_EQ(VQX_VARIANT_EMPTY, byName.minValue.type);
    EXPECT_EQ(VQX_VARIANT_EMPTY, byName.maxValue.type);
    static const VQXEnumDescriptionEntry entries[] = {{7, "Seven", nullptr}, {8, "Eight", nullptr}, {0, nullptr, nullptr}};
    const VQXPropertyInfoImpl fallback = Describe(VQX_VARIANT_INT64, Text("Nine"), VQXVariant(), VQXVariant(),
                                                  VQX_PROPERTY_CONTENT_ENUM, entries);
    EXPECT_EQ(VQX_VARIANT_INT64, fallback.defaultValue.type);
    EXPECT_EQ(7, fallback.defaultValue.int64Value);
    EXPECT_EQ(entries, fallback.pEnumDescription);
}

TEST(PropertyInfo, KindsOutsideTheDescribableRangeStayEmpty) {
    for (int type : {0, 7, -1}) {
        const VQXPropertyInfoImpl info = Describe(static_cast<VQX_VARIANT_TYPE>(type), Int(1), Int(0), Int(2));
        EXPECT_EQ(VQX_VARIANT_EMPTY, info.defaultValue.type) << type;
        EXPECT_EQ(VQX_VARIANT_EMPTY, info.minValue.type) << type;
        EXPECT_EQ(VQX_VARIANT_EMPTY, info.maxValue.type) << type;
        EXPECT_STREQ(L"P", info.name);
    }
    const VQXPropertyInfoImpl blank;
    EXPECT_EQ(nullptr, blank.name);
    EXPECT_EQ(nullptr, blank.desc);
    EXPECT_EQ(VQX_VARIANT_EMPTY, blank.defaultValue.type);
    EXPECT_EQ(nullptr, blank.pEnumDescription);
}

TEST(PropertyInfo, CopiesOwnTheirValuesAndBorrowTheTexts) {
    static const wchar_t kName[] = L"Title";
    Opaque* object = CreateInstance<Opaque>();
    std::optional<VQXPropertyInfoImpl> original;
    original.emplace(kName, L"a title", VQX_VARIANT_WSTRING,
                     VQX_PROPERTY_CONTENT_DEFAULT, WText(L"untitled"), VQXVariant(), VQXVariant(), true, nullptr);
    VQXPropertyInfoImpl copy(*original);
    EXPECT_EQ(kName, copy.name);  // the pointer, not a copy of the text
    EXPECT_NE(original->defaultValue.wstringValue, copy.defaultValue.wstringValue);
    original.reset();
    EXPECT_STREQ(L"untitled", copy.defaultValue.wstringValue);
    EXPECT_TRUE(copy.allowChange);

    VQXPropertyInfoImpl holder = Describe(VQX_VARIANT_INTERFACE, VQXVariant(object));
    EXPECT_EQ(2, object->GetRefCount());
    {
        VQXPropertyInfoImpl assigned;
        assigned = holder;
        EXPECT_EQ(3, object->GetRefCount());
        assigned = copy;  // the old interface is released
        EXPECT_EQ(2, object->GetRefCount());
        EXPECT_STREQ(L"untitled", assigned.defaultValue.wstringValue);
        assigned = assigned;
        EXPECT_STREQ(L"untitled", assigned.defaultValue.wstringValue);
    }
    holder = copy;
    EXPECT_EQ(1, object->GetRefCount());
    object->Release();
}
