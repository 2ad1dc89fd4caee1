// The variant record: ownership of texts and interface references, copy, compare and the
// conversion rules with the runtime's scan and print formats.
#include <vqx/vqx.h>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace vqx;

namespace {

class CountedObject : public VQXInterfaceImpl<VQXInterface> {
public:
    explicit CountedObject(int* destroyed = nullptr) : m_destroyed(destroyed) {}
    ~CountedObject() override {
        if (m_destroyed) ++*m_destroyed;
    }

private:
    int* m_destroyed;
};

// Logs every Acquire ("name+") and Release ("name-") it receives and never deletes itself.
class ReferenceLog : public VQXInterface {
public:
    ReferenceLog(std::vector<std::string>& log, std::string name) : m_log(log), m_name(std::move(name)) {}
    int32 VQX_CALL Acquire() override { return Note("+"); }
    int32 VQX_CALL Release() override { return Note("-"); }
    VQX_ERROR VQX_CALL QueryInterface(const wchar_t*, void**) override { return VQX_NO_INTERFACE; }

private:
    int32 Note(const char* what) {
        m_log.push_back(m_name + what);
        return 1;
    }
    std::vector<std::string>& m_log;
    std::string m_name;
};

constexpr int64 kLowest = std::numeric_limits<int64>::min();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// A raw record as a host might hand it over (a zero payload is a null text or interface).
VQXVARIANT Record(int type = VQX_VARIANT_EMPTY, int64 payload = 0) {
    VQXVARIANT v;
    v.type = static_cast<VQX_VARIANT_TYPE>(type);
    v.int64Value = payload;
    return v;
}

bool Equal(const VQXVARIANT& a, const VQXVARIANT& b) {
    bool equal = false;
    EXPECT_EQ(VQX_OK, VQXVariantCompare(&a, &b, equal));
    return equal;
}

VQXVariant B(bool value) {
    return VQXVariant::FromBool(value);
}
VQXVariant I(int64 value) {
    return VQXVariant::FromInt64(value);
}
VQXVariant D(double value) {
    return VQXVariant::FromDouble(value);
}

VQXVariant Wide(const char* ascii) {
    const std::wstring wide(ascii, ascii + std::strlen(ascii));
    return VQXVariant::FromWString(wide.c_str());
}

}  // namespace

TEST(Variant, NullRecordsAreRejected) {
    VQXVariant v;
    bool equal = true;
    const VQX_ERROR results[] = {
        VQXVariantInit(nullptr),
        VQXVariantClear(nullptr),
        VQXVariantAssignBool(nullptr, true),
        VQXVariantAssignInt64(nullptr, 1),
        VQXVariantAssignDouble(nullptr, 1.0),
        VQXVariantAssignString(nullptr, "x"),
        VQXVariantAssignWString(nullptr, L"x"),
        VQXVariantCopy(nullptr, &v),
        VQXVariantCopy(&v, nullptr),
        VQXVariantCompare(&v, nullptr, equal),
        VQXVariantChangeType(nullptr, &v, VQX_VARIANT_BOOL),
    };
    for (const VQX_ERROR& result : results)
        EXPECT_EQ(VQX_NULL_POINTER, result) << "call " << &result - results;
    EXPECT_TRUE(equal);
    EXPECT_EQ(VQX_OK, VQXVariantCopy(nullptr, nullptr));  // same record: nothing to do
    // A null text or interface leaves the destination as it was.
    VQXVariant keep = VQXVariant::FromString("keep");
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignString(&keep, nullptr));
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignWString(&keep, nullptr));
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantAssignInterface(&keep, nullptr));
    EXPECT_STREQ("keep", keep.stringValue);
}

TEST(Variant, TextsArePrivateCopies) {
    char text[] = "abc";
    wchar_t wide[] = L"\u00e9t\u00e9";
    VQXVariant narrow = VQXVariant::FromString(text);
    VQXVariant w = VQXVariant::FromWString(wide);
    text[0] = 'X';
    wide[0] = L'X';
    EXPECT_STREQ("abc", narrow.stringValue);
    EXPECT_STREQ(L"\u00e9t\u00e9", w.wstringValue);
    // Assigning a variant's own text to it must not read freed memory.
    ASSERT_EQ(VQX_OK, VQXVariantAssignString(&narrow, narrow.stringValue));
    EXPECT_STREQ("abc", narrow.stringValue);

    VQXVariant dest = VQXVariant::FromString("old");
    ASSERT_EQ(VQX_OK, VQXVariantCopy(&dest, &w));
    EXPECT_EQ(VQX_VARIANT_WSTRING, dest.type);
    EXPECT_NE(w.wstringValue, dest.wstringValue);
    EXPECT_STREQ(L"\u00e9t\u00e9", dest.wstringValue);
    VQXVariant empty;
    ASSERT_EQ(VQX_OK, VQXVariantCopy(&dest, &empty));
    EXPECT_EQ(VQX_VARIANT_EMPTY, dest.type);
}

TEST(Variant, InvalidKindsAndNullTexts) {
    VQXVARIANT nullText = Record(VQX_VARIANT_WSTRING);  // as a failed allocation leaves it
    EXPECT_EQ(VQX_OK, VQXVariantClear(&nullText));
    EXPECT_EQ(VQX_VARIANT_EMPTY, nullText.type);

    for (int kind : {7, -1}) {
        VQXVARIANT invalid = Record(kind, 0x1234);
        EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantClear(&invalid));
        EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantAssignInt64(&invalid, 5));
        EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantAssignString(&invalid, "x"));
        EXPECT_EQ(kind, invalid.type);
        EXPECT_EQ(0x1234, invalid.int64Value);
        VQXVariant dest = VQXVariant::FromInt64(9);
        EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantCopy(&dest, &invalid));
        EXPECT_EQ(9, dest.int64Value);
    }
    VQXVARIANT x = Record(7, 1), y = Record(7, 1);
    bool equal = true;
    EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantCompare(&x, &y, equal));
    EXPECT_TRUE(equal);  // untouched

    // A text kind with a null text is neither copied nor converted.
    VQXVARIANT broken = Record(VQX_VARIANT_STRING);
    VQXVariant dest = VQXVariant::FromInt64(4);
    EXPECT_EQ(VQX_NULL_POINTER, VQXVariantCopy(&dest, &broken));
    for (VQX_VARIANT_TYPE target : {VQX_VARIANT_BOOL, VQX_VARIANT_INT64, VQX_VARIANT_DOUBLE, VQX_VARIANT_WSTRING}) {
        EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantChangeType(&dest, &broken, target));
    }
    EXPECT_EQ(4, dest.int64Value);
}

TEST(Variant, InterfaceReferencesAreCountedExactlyOnce) {
    int destroyed = 0;
    VQXPtr<CountedObject> object = VQXPtr<CountedObject>::Adopt(CreateInstance<CountedObject>(&destroyed));
    {
        VQXVariant held(object.get());
        EXPECT_EQ(2, object->GetRefCount());
        VQXVariant copy(held);
        EXPECT_EQ(3, object->GetRefCount());
        // Storing the interface a variant already holds keeps it alive.
        ASSERT_EQ(VQX_OK, VQXVariantAssignInterface(&copy, copy.pInterface));
        EXPECT_EQ(3, object->GetRefCount());
        ASSERT_EQ(VQX_OK, VQXVariantAssignInt64(&copy, 1));  // releases the reference
        EXPECT_EQ(2, object->GetRefCount());
        VQXVariant other;
        ASSERT_EQ(VQX_OK, VQXVariantChangeType(&other, &held, VQX_VARIANT_INTERFACE));
        EXPECT_EQ(object.get(), other.pInterface);
        EXPECT_EQ(3, object->GetRefCount());
    }
    EXPECT_EQ(1, object->GetRefCount());
    object.reset();
    EXPECT_EQ(1, destroyed);
    EXPECT_EQ(VQX_VARIANT_EMPTY, VQXVariant(static_cast<VQXInterface*>(nullptr)).type);

    // A raw record holds the last reference until it is cleared.
    VQXVARIANT owner = Record();
    VQXInterface* lone = CreateInstance<CountedObject>(&destroyed);
    ASSERT_EQ(VQX_OK, VQXVariantAssignInterface(&owner, lone));
    lone->Release();
    EXPECT_EQ(1, destroyed);
    EXPECT_EQ(VQX_OK, VQXVariantClear(&owner));
    EXPECT_EQ(nullptr, owner.pInterface);
    EXPECT_EQ(2, destroyed);
}

TEST(Variant, AssigningAnInterfaceClearsFirstThenTakesTheReference) {
    std::vector<std::string> log;
    ReferenceLog a(log, "a");
    ReferenceLog b(log, "b");
    // A record of an unknown kind cannot be cleared: the error comes back and nothing is touched,
    // so an object without references yet is not released (which would destroy it).
    VQXVARIANT broken = Record(99, 1234);
    EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantAssignInterface(&broken, &a));
    EXPECT_EQ(std::vector<std::string>{}, log);
    EXPECT_EQ(99, broken.type);
    EXPECT_EQ(1234, broken.int64Value);

    VQXVARIANT held = Record();
    ASSERT_EQ(VQX_OK, VQXVariantAssignString(&held, "text"));
    ASSERT_EQ(VQX_OK, VQXVariantAssignInterface(&held, &a));  // frees the text, one reference
    EXPECT_EQ(VQX_VARIANT_INTERFACE, held.type);
    EXPECT_EQ(&a, held.pInterface);
    ASSERT_EQ(VQX_OK, VQXVariantAssignInterface(&held, &a));  // the same object again: no change
    ASSERT_EQ(VQX_OK, VQXVariantAssignInterface(&held, &b));  // the old reference goes first
    EXPECT_EQ(&b, held.pInterface);
    ASSERT_EQ(VQX_OK, VQXVariantClear(&held));
    EXPECT_EQ((std::vector<std::string>{"a+", "a-", "b+", "b-"}), log);
}

TEST(Variant, CompareNeedsTheSameKindAndValue) {
    VQXPtr<CountedObject> a = VQXPtr<CountedObject>::Adopt(CreateInstance<CountedObject>());
    VQXPtr<CountedObject> b = VQXPtr<CountedObject>::Adopt(CreateInstance<CountedObject>());
    const struct {
        VQXVariant left, right;
        bool equal;
    } cases[] = {
        {VQXVariant::FromInt64(3), VQXVariant::FromDouble(3.0), false},
        {VQXVariant::FromWString(L"ABC"), VQXVariant::FromWString(L"abc"), false},
        {VQXVariant::FromWString(L"abc"), VQXVariant::FromWString(L"abc"), true},
        {VQXVariant::FromString("ab"), VQXVariant::FromString("abc"), false},
        {VQXVariant::FromDouble(0.0), VQXVariant::FromDouble(-0.0), true},
        {VQXVariant::FromDouble(kNaN), VQXVariant::FromDouble(kNaN), false},
        {VQXVariant(), VQXVariant(), true},
        {VQXVariant(a.get()), VQXVariant(a.get()), true},
        {VQXVariant(a.get()), VQXVariant(b.get()), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.equal, Equal(c.left, c.right)) << &c - cases;
    VQXVariant nan = VQXVariant::FromDouble(kNaN);
    EXPECT_TRUE(Equal(nan, nan));  // same record

    // Booleans compare by their stored byte.
    VQXVARIANT b1 = Record(), b2 = Record();
    VQXVariantAssignBool(&b1, true);
    VQXVariantAssignBool(&b2, true);
    EXPECT_TRUE(Equal(b1, b2));
    const unsigned char two = 2;
    std::memcpy(&b2.boolValue, &two, 1);
    EXPECT_FALSE(Equal(b1, b2));
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
}

// Texts to bool, int64 and double (the expected value's kind is the target), each from the 8-bit
// and the wide form. A failed conversion leaves the destination untouched.
TEST(VariantConvert, TextsFollowTheRuntimeScan) {
    constexpr VQX_ERROR kBad = VQX_INVALID_PARAMETER;
    const struct {
        const char* text;
        VQX_ERROR result;
        VQXVariant value;
    } cases[] = {
        {"0x1F", VQX_OK, I(31)},
        {"0xff", VQX_OK, I(255)},
        {"0xFFFFFFFFFFFFFFFF", VQX_OK, I(-1)},
        {"0X1F", VQX_OK, I(0)} /* capital X: decimal "0" */,
        {"12abc", VQX_OK, I(12)},
        {"", VQX_OK, I(0)},
        {" \t\r\n", VQX_OK, I(0)},
        {"0x", VQX_OK, I(0)},
        {"0x \t", VQX_OK, I(0)},
        {"  -42", VQX_OK, I(-42)},
        {"+7", VQX_OK, I(7)},
        {"-9223372036854775808", VQX_OK, I(kLowest)},
        {"1e3", VQX_OK, I(1)},
        {"1.9", VQX_OK, I(1)},
        {"abc", kBad, I(0)},
        {"0xg", kBad, I(0)},
        {"x1", kBad, I(0)},
        {"inf", kBad, I(0)},
        {"true", VQX_OK, B(true)},
        {"True", VQX_OK, B(true)},
        {"TRUE", VQX_OK, B(true)},
        {"false", VQX_OK, B(false)},
        {"False", VQX_OK, B(false)},
        {"FALSE", VQX_OK, B(false)},
        {"12", VQX_OK, B(true)},
        {"0", VQX_OK, B(false)},
        {"0x10", VQX_OK, B(true)},
        {"-1", VQX_OK, B(true)},
        {"", VQX_OK, B(false)},
        {" TRUE", kBad, B(0)},
        {"tRUE", kBad, B(0)},
        {"true ", kBad, B(0)},
        {"yes", kBad, B(0)},
        {"1e3", VQX_OK, D(1000.0)},
        {"  -2.5x", VQX_OK, D(-2.5)},
        {".5", VQX_OK, D(0.5)},
        {"", VQX_OK, D(0.0)},
        {"\t\n ", VQX_OK, D(0.0)},
        {"0x1p3", VQX_OK, D(0.0)} /* reads "0", stops at the x */,
        {"inf", kBad, D(0)} /* no C99 infinity or NaN words */,
        {"nan", kBad, D(0)},
        {"abc", kBad, D(0)},
    };
    for (const auto& c : cases) {
        for (const VQXVariant& source : {VQXVariant::FromString(c.text), Wide(c.text)}) {
            SCOPED_TRACE(::testing::Message() << '"' << c.text << "\" to kind " << c.value.type
                                              << (source.type == VQX_VARIANT_WSTRING ? " (wide)" : ""));
            VQXVariant out = VQXVariant::FromString("untouched");
            ASSERT_EQ(c.result, VQXVariantChangeType(&out, &source, c.value.type));
            if (c.result == VQX_OK) {
                EXPECT_EQ(c.value.type, out.type);
                EXPECT_TRUE(Equal(c.value, out));
            } else {
                EXPECT_STREQ("untouched", out.stringValue);
            }
        }
    }
}

TEST(VariantConvert, NumbersBetweenKinds) {
    const struct {
        VQXVariant source, expected;
    } cases[] = {
        {D(1e-300), B(true)},
        {D(kNaN), B(true)},
        {D(-0.0), B(false)},
        {I(0), B(false)},
        {I(int64(1) << 40), B(true)} /* high bits alone count */,
        {D(2.9), I(2)},
        {D(-2.9), I(-2)},
        {D(1e30), I(kLowest)},
        {D(-1e30), I(kLowest)},
        {D(kNaN), I(kLowest)},
        {D(kInf), I(kLowest)},
        {D(9223372036854775808.0), I(kLowest)},
        {D(9007199254740993.0), I(9007199254740992)},
        {B(true), I(1)},
        {B(true), D(1.0)},
        {I(kLowest), D(-9223372036854775808.0)},
    };
    for (const auto& c : cases) {
        VQXVariant out;
        ASSERT_EQ(VQX_OK, VQXVariantChangeType(&out, &c.source, c.expected.type)) << &c - cases;
        EXPECT_TRUE(Equal(c.expected, out)) << &c - cases;
    }
}

TEST(VariantConvert, ValuesToTextUseTheRuntimePrintFormats) {
    const struct {
        VQXVariant source;
        const char* text;
    } cases[] = {
        {B(true), "true"},
        {B(false), "false"},
        {I(-5), "-5"},
        {I(kLowest), "-9223372036854775808"},
        {I(std::numeric_limits<int64>::max()), "9223372036854775807"},
        {D(1.5), "1.500000"},
        {D(-2.0), "-2.000000"},
        {D(0.1), "0.100000"},
        {D(1e15), "1000000000000000.000000"},
        {D(-0.0000004), "-0.000000"},
        {D(kInf), "1.#INF00"} /* the runtime's, not C99's "inf" */,
        {D(-kInf), "-1.#INF00"},
    };
    for (const auto& c : cases) {
        VQXVariant narrow, wide;
        ASSERT_EQ(VQX_OK, VQXVariantChangeType(&narrow, &c.source, VQX_VARIANT_STRING));
        ASSERT_EQ(VQX_OK, VQXVariantChangeType(&wide, &c.source, VQX_VARIANT_WSTRING));
        EXPECT_TRUE(Equal(VQXVariant::FromString(c.text), narrow)) << c.text;
        EXPECT_TRUE(Equal(Wide(c.text), wide)) << c.text;
    }
    // Renderings near the top of the double range stay inside the 255-character buffer.
    for (double value : {1e308, -std::numeric_limits<double>::max(), 1e250}) {
        const VQXVariant source = D(value);
        VQXVariant narrow, wide;
        ASSERT_EQ(VQX_OK, VQXVariantChangeType(&narrow, &source, VQX_VARIANT_STRING));
        ASSERT_EQ(VQX_OK, VQXVariantChangeType(&wide, &source, VQX_VARIANT_WSTRING));
        const size_t length = std::strlen(narrow.stringValue);
        EXPECT_GT(length, 200u);
        EXPECT_LE(length, 254u);
        EXPECT_EQ(value < 0, narrow.stringValue[0] == '-');
        EXPECT_EQ(std::wstring(narrow.stringValue, narrow.stringValue + length), wide.wstringValue);
    }
}

TEST(VariantConvert, TextsCrossAsUtf8AndConvertInPlace) {
    VQXVariant v = VQXVariant::FromWString(L"\u00e9\u20ac\U0001F600");
    ASSERT_EQ(VQX_OK, VQXVariantChangeType(&v, nullptr, VQX_VARIANT_STRING));  // frees the wide text
    EXPECT_EQ(VQX_VARIANT_STRING, v.type);
    EXPECT_STREQ("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", v.stringValue);
    ASSERT_EQ(VQX_OK, VQXVariantChangeType(&v, &v, VQX_VARIANT_WSTRING));
    EXPECT_STREQ(L"\u00e9\u20ac\U0001F600", v.wstringValue);
    VQXVariant number = VQXVariant::FromString("0x20");
    ASSERT_EQ(VQX_OK, VQXVariantChangeType(&number, nullptr, VQX_VARIANT_INT64));
    EXPECT_EQ(32, number.int64Value);
}

TEST(VariantConvert, EmptyTargetAndUnlistedPairs) {
    const VQXVariant value = VQXVariant::FromInt64(5);
    VQXVariant dest = VQXVariant::FromString("kept");
    ASSERT_EQ(VQX_OK, VQXVariantChangeType(&dest, &value, VQX_VARIANT_EMPTY));
    EXPECT_STREQ("kept", dest.stringValue);  // left as it was
    const VQXVariant empty;
    ASSERT_EQ(VQX_OK, VQXVariantChangeType(&dest, &empty, VQX_VARIANT_EMPTY));
    EXPECT_EQ(VQX_VARIANT_EMPTY, dest.type);  // same kind: copied, so cleared

    dest = VQXVariant::FromDouble(1.0);
    for (int target : {int(VQX_VARIANT_INTERFACE), 9, -1}) {
        EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantChangeType(&dest, &value, static_cast<VQX_VARIANT_TYPE>(target)));
    }
    for (VQX_VARIANT_TYPE target : {VQX_VARIANT_BOOL, VQX_VARIANT_INT64, VQX_VARIANT_STRING}) {
        EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantChangeType(&dest, &empty, target));
    }
    VQXPtr<CountedObject> object = VQXPtr<CountedObject>::Adopt(CreateInstance<CountedObject>());
    const VQXVariant holder(object.get());
    for (VQX_VARIANT_TYPE target : {VQX_VARIANT_BOOL, VQX_VARIANT_WSTRING}) {
        EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantChangeType(&dest, &holder, target));
    }
    EXPECT_TRUE(Equal(VQXVariant::FromDouble(1.0), dest));
}
