// Ownership of texts and interface references, copy and compare of the variant record.
#include <vqx/vqx.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace vqx;

namespace {

class CountedObject : public VQXInterfaceImpl<VQXInterface> {
public:
    explicit CountedObject(int* destroyed) : m_destroyed(destroyed) {}
    ~CountedObject() override { ++*m_destroyed; }

private:
    int* m_destroyed;
};

VQXVARIANT MakeRecord() {
    VQXVARIANT v;
    std::memset(&v, 0xCD, sizeof v);
    VQXVariantInit(&v);
    return v;
}

VQXVARIANT InvalidRecord() {
    VQXVARIANT v = MakeRecord();
    v.type = static_cast<VQX_VARIANT_TYPE>(7);
    v.int64Value = 0x1234;
    return v;
}

}  // namespace

TEST(Variant, NullRecordsAreRejected) {
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantInit(nullptr));
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantClear(nullptr));
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignBool(nullptr, true));
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignInt64(nullptr, 1));
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignDouble(nullptr, 1.0));
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignString(nullptr, "x"));
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignWString(nullptr, L"x"));
    VQXVariant v;
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantCopy(nullptr, &v));
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantCopy(&v, nullptr));
    EXPECT_EQ(VQX_OK, VQXVariantCopy(nullptr, nullptr));  // same record: nothing to do
    bool equal = true;
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantCompare(&v, nullptr, equal));
    EXPECT_TRUE(equal);
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantChangeType(nullptr, &v, VQX_VARIANT_BOOL));
}

TEST(Variant, AssignStoresKindAndPayload) {
    VQXVariant v;
    ASSERT_EQ(VQX_OK, VQXVariantAssignBool(&v, true));
    EXPECT_EQ(VQX_VARIANT_BOOL, v.type);
    EXPECT_TRUE(v.boolValue);
    ASSERT_EQ(VQX_OK, VQXVariantAssignInt64(&v, INT64_MIN));
    EXPECT_EQ(VQX_VARIANT_INT64, v.type);
    EXPECT_EQ(INT64_MIN, v.int64Value);
    ASSERT_EQ(VQX_OK, VQXVariantAssignDouble(&v, -0.25));
    EXPECT_EQ(VQX_VARIANT_DOUBLE, v.type);
    EXPECT_EQ(-0.25, v.doubleValue);
}

TEST(Variant, TextsArePrivateCopies) {
    char text[] = "abc";
    wchar_t wide[] = L"\u00e9t\u00e9";
    VQXVariant narrow;
    VQXVariant w;
    ASSERT_EQ(VQX_OK, VQXVariantAssignString(&narrow, text));
    ASSERT_EQ(VQX_OK, VQXVariantAssignWString(&w, wide));
    EXPECT_NE(text, narrow.stringValue);
    EXPECT_NE(wide, w.wstringValue);
    text[0] = 'X';
    wide[0] = L'X';
    EXPECT_STREQ("abc", narrow.stringValue);
    EXPECT_STREQ(L"\u00e9t\u00e9", w.wstringValue);
    // Assigning a variant's own text to it must not read freed memory.
    ASSERT_EQ(VQX_OK, VQXVariantAssignString(&narrow, narrow.stringValue));
    EXPECT_STREQ("abc", narrow.stringValue);
    ASSERT_EQ(VQX_OK, VQXVariantAssignString(&narrow, ""));
    EXPECT_STREQ("", narrow.stringValue);
}

TEST(Variant, NullTextLeavesDestinationAsItWas) {
    VQXVariant v = VQXVariant::FromString("keep");
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignString(&v, nullptr));
    EXPECT_EQ(VQX_VARIANT_STRING, v.type);
    EXPECT_STREQ("keep", v.stringValue);
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignWString(&v, nullptr));
    EXPECT_STREQ("keep", v.stringValue);
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignInterface(&v, nullptr));
    EXPECT_STREQ("keep", v.stringValue);
}

TEST(Variant, ClearAcceptsNullTextAndRejectsInvalidKinds) {
    VQXVARIANT v = MakeRecord();
    v.type = VQX_VARIANT_WSTRING;
    v.wstringValue = nullptr;  // as left by a failed allocation
    EXPECT_EQ(VQX_OK, VQXVariantClear(&v));
    EXPECT_EQ(VQX_VARIANT_EMPTY, v.type);

    VQXVARIANT invalid = InvalidRecord();
    EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantClear(&invalid));
    EXPECT_EQ(7, invalid.type);
    EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantAssignInt64(&invalid, 5));
    EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantAssignString(&invalid, "x"));
    EXPECT_EQ(7, invalid.type);
    EXPECT_EQ(0x1234, invalid.int64Value);

    VQXVARIANT negative = InvalidRecord();
    negative.type = static_cast<VQX_VARIANT_TYPE>(-1);
    EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantClear(&negative));
}

TEST(Variant, InterfaceReferencesAreCountedExactlyOnce) {
    int destroyed = 0;
    VQXPtr<CountedObject> object = VQXPtr<CountedObject>::Adopt(CreateInstance<CountedObject>(&destroyed));
    {
        VQXVariant held(object.get());
        EXPECT_EQ(2, object->GetRefCount());
        VQXVariant copy(held);
        EXPECT_EQ(3, object->GetRefCount());
        EXPECT_EQ(object.get(), copy.pInterface);
        // Storing the interface a variant already holds keeps it alive.
        ASSERT_EQ(VQX_OK, VQXVariantAssignInterface(&copy, copy.pInterface));
        EXPECT_EQ(3, object->GetRefCount());
        ASSERT_EQ(VQX_OK, VQXVariantAssignInt64(&copy, 1));  // releases the reference
        EXPECT_EQ(2, object->GetRefCount());
    }
    EXPECT_EQ(1, object->GetRefCount());
    EXPECT_EQ(0, destroyed);
    object.reset();
    EXPECT_EQ(1, destroyed);

    VQXVariant empty(static_cast<VQXInterface*>(nullptr));
    EXPECT_EQ(VQX_VARIANT_EMPTY, empty.type);

    // A record passed by value to a reader transfers nothing: the owner still clears once.
    int destroyedOnly = 0;
    VQXVARIANT owner = MakeRecord();
    VQXInterface* lone = CreateInstance<CountedObject>(&destroyedOnly);
    ASSERT_EQ(VQX_OK, VQXVariantAssignInterface(&owner, lone));
    lone->Release();
    VQXVARIANT bitCopy = owner;
    EXPECT_EQ(VQX_VARIANT_INTERFACE, bitCopy.type);
    EXPECT_EQ(0, destroyedOnly);
    EXPECT_EQ(VQX_OK, VQXVariantClear(&owner));
    EXPECT_EQ(nullptr, owner.pInterface);
    EXPECT_EQ(1, destroyedOnly);
}

TEST(Variant, CopyDuplicatesTextsAndFollowsTheSourceKind) {
    VQXVariant source = VQXVariant::FromWString(L"wide");
    VQXVariant dest = VQXVariant::FromString("old");
    ASSERT_EQ(VQX_OK, VQXVariantCopy(&dest, &source));
    EXPECT_EQ(VQX_VARIANT_WSTRING, dest.type);
    EXPECT_NE(source.wstringValue, dest.wstringValue);
    EXPECT_STREQ(L"wide", dest.wstringValue);

    VQXVariant empty;
    ASSERT_EQ(VQX_OK, VQXVariantCopy(&dest, &empty));
    EXPECT_EQ(VQX_VARIANT_EMPTY, dest.type);

    VQXVARIANT invalid = InvalidRecord();
    dest = VQXVariant::FromInt64(9);
    EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantCopy(&dest, &invalid));
    EXPECT_EQ(VQX_VARIANT_INT64, dest.type);
    EXPECT_EQ(9, dest.int64Value);

    // Copying a text kind with a null text (failed allocation) stores nothing.
    VQXVARIANT broken = MakeRecord();
    broken.type = VQX_VARIANT_STRING;
    broken.stringValue = nullptr;
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantCopy(&dest, &broken));
    EXPECT_EQ(9, dest.int64Value);
}

TEST(Variant, CompareNeedsTheSameKindAndValue) {
    bool equal = true;
    VQXVariant i3 = VQXVariant::FromInt64(3);
    VQXVariant d3 = VQXVariant::FromDouble(3.0);
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&i3, &d3, equal));
    EXPECT_FALSE(equal);

    VQXVariant upper = VQXVariant::FromWString(L"ABC");
    VQXVariant lower = VQXVariant::FromWString(L"abc");
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&upper, &lower, equal));
    EXPECT_FALSE(equal);
    VQXVariant lowerAgain = VQXVariant::FromWString(L"abc");
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&lowerAgain, &lower, equal));
    EXPECT_TRUE(equal);
    VQXVariant prefix = VQXVariant::FromString("ab");
    VQXVariant longer = VQXVariant::FromString("abc");
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&prefix, &longer, equal));
    EXPECT_FALSE(equal);

    VQXVariant zero = VQXVariant::FromDouble(0.0);
    VQXVariant minusZero = VQXVariant::FromDouble(-0.0);
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&zero, &minusZero, equal));
    EXPECT_TRUE(equal);
    VQXVariant nan = VQXVariant::FromDouble(std::numeric_limits<double>::quiet_NaN());
    VQXVariant nan2 = nan;
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&nan, &nan2, equal));
    EXPECT_FALSE(equal);
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&nan, &nan, equal));  // same record
    EXPECT_TRUE(equal);

    VQXVariant e1;
    VQXVariant e2;
    equal = false;
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&e1, &e2, equal));
    EXPECT_TRUE(equal);

    // Booleans compare by their stored byte.
    VQXVARIANT b1 = MakeRecord();
    VQXVARIANT b2 = MakeRecord();
    VQXVariantAssignBool(&b1, true);
    VQXVariantAssignBool(&b2, true);
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&b1, &b2, equal));
    EXPECT_TRUE(equal);
    unsigned char two = 2;
    std::memcpy(&b2.boolValue, &two, 1);
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&b1, &b2, equal));
    EXPECT_FALSE(equal);

    VQXVARIANT x = InvalidRecord();
    VQXVARIANT y = InvalidRecord();
    equal = true;
    EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantCompare(&x, &y, equal));
    EXPECT_TRUE(equal);  // untouched
}

TEST(Variant, CompareInterfacesByIdentity) {
    int destroyed = 0;
    VQXPtr<CountedObject> a = VQXPtr<CountedObject>::Adopt(CreateInstance<CountedObject>(&destroyed));
    VQXPtr<CountedObject> b = VQXPtr<CountedObject>::Adopt(CreateInstance<CountedObject>(&destroyed));
    VQXVariant va(a.get());
    VQXVariant va2(a.get());
    VQXVariant vb(b.get());
    bool equal = false;
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&va, &va2, equal));
    EXPECT_TRUE(equal);
    ASSERT_EQ(VQX_OK, VQXVariantCompare(&va, &vb, equal));
    EXPECT_FALSE(equal);
}

TEST(Variant, WrapperTypedReads) {
    EXPECT_FALSE(VQXVariant().ToBool());
    EXPECT_TRUE(VQXVariant::FromString("TRUE").ToBool());
    EXPECT_TRUE(VQXVariant::FromWString(L"12").ToBool());
    EXPECT_FALSE(VQXVariant::FromString("tRUE").ToBool());  // failed conversion reads false
    EXPECT_EQ(31, VQXVariant::FromString("0x1F").ToInt64());
    EXPECT_EQ(-2, VQXVariant::FromDouble(-2.9).ToInt64());
    EXPECT_EQ(0, VQXVariant::FromString("abc").ToInt64());
    EXPECT_EQ(0, VQXVariant().ToInt64());
    VQXVariant assigned;
    assigned = VQXVariant::FromInt64(77);
    EXPECT_EQ(77, assigned.ToInt64());
    EXPECT_TRUE(assigned.ToBool());
}
