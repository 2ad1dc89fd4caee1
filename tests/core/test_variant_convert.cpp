// VQXVariantChangeType: conversion rules and the runtime's scan and print formats.
#include <vqx/vqx.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

using namespace vqx;

namespace {

class CountedObject : public VQXInterfaceImpl<VQXInterface> {};

constexpr int64 kLowest = std::numeric_limits<int64>::min();

// Converts a copy of `source` into a fresh variant; returns the result code.
VQX_ERROR Convert(const VQXVariant& source, VQX_VARIANT_TYPE target, VQXVariant& out) {
    return VQXVariantChangeType(&out, &source, target);
}

struct TextToInt64Case {
    const char* text;
    VQX_ERROR result;
    int64 value;
};

const TextToInt64Case kTextToInt64[] = {
    {"0x1F", VQX_OK, 31},
    {"0xff", VQX_OK, 255},
    {"0xFFFFFFFFFFFFFFFF", VQX_OK, -1},
    {"0X1F", VQX_OK, 0},  // capital X: decimal scan of "0"
    {"12abc", VQX_OK, 12},
    {"", VQX_OK, 0},
    {"   ", VQX_OK, 0},
    {"0x", VQX_OK, 0},
    {"0x \t", VQX_OK, 0},
    {" \t\r\n", VQX_OK, 0},
    {"  -42", VQX_OK, -42},
    {"+7", VQX_OK, 7},
    {"-9223372036854775808", VQX_OK, kLowest},
    {"1e3", VQX_OK, 1},
    {"1.9", VQX_OK, 1},
    {"abc", VQX_INVALID_PARAMETER, 0},
    {"0xg", VQX_INVALID_PARAMETER, 0},
    {"x1", VQX_INVALID_PARAMETER, 0},
    {"inf", VQX_INVALID_PARAMETER, 0},
};

}  // namespace

TEST(VariantConvert, TextToInt64FollowsTheRuntimeScan) {
    for (const TextToInt64Case& c : kTextToInt64) {
        SCOPED_TRACE(c.text);
        for (int wide = 0; wide < 2; ++wide) {
            VQXVariant source = VQXVariant::FromString(c.text);
            if (wide) {
                ASSERT_EQ(VQX_OK, VQXVariantChangeType(&source, nullptr, VQX_VARIANT_WSTRING));
            }
            VQXVariant out = VQXVariant::FromString("untouched");
            EXPECT_EQ(c.result, Convert(source, VQX_VARIANT_INT64, out)) << "wide=" << wide;
            if (c.result == VQX_OK) {
                EXPECT_EQ(VQX_VARIANT_INT64, out.type);
                EXPECT_EQ(c.value, out.int64Value) << "wide=" << wide;
            } else {
                ASSERT_EQ(VQX_VARIANT_STRING, out.type);
                EXPECT_STREQ("untouched", out.stringValue);
            }
        }
    }
}

TEST(VariantConvert, TextToBoolMatchesExactWordsThenNumbers) {
    const struct {
        const char* text;
        VQX_ERROR result;
        bool value;
    } cases[] = {
        {"true", VQX_OK, true},   {"True", VQX_OK, true},    {"TRUE", VQX_OK, true},
        {"false", VQX_OK, false}, {"False", VQX_OK, false},  {"FALSE", VQX_OK, false},
        {"12", VQX_OK, true},     {"0", VQX_OK, false},      {"0x10", VQX_OK, true},
        {"", VQX_OK, false},      {"-1", VQX_OK, true},      {" TRUE", VQX_INVALID_PARAMETER, false},
        {"tRUE", VQX_INVALID_PARAMETER, false}, {"true ", VQX_INVALID_PARAMETER, false},
        {"yes", VQX_INVALID_PARAMETER, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        VQXVariant narrow = VQXVariant::FromString(c.text);
        VQXVariant wide = narrow;
        ASSERT_EQ(VQX_OK, VQXVariantChangeType(&wide, nullptr, VQX_VARIANT_WSTRING));
        for (const VQXVariant* source : {&narrow, &wide}) {
            VQXVariant out = VQXVariant::FromInt64(99);
            EXPECT_EQ(c.result, Convert(*source, VQX_VARIANT_BOOL, out));
            if (c.result == VQX_OK) {
                EXPECT_EQ(VQX_VARIANT_BOOL, out.type);
                EXPECT_EQ(c.value, out.boolValue);
            } else {
                EXPECT_EQ(VQX_VARIANT_INT64, out.type);
                EXPECT_EQ(99, out.int64Value);
            }
        }
    }
}

TEST(VariantConvert, NumbersToBool) {
    VQXVariant out;
    const double trueDoubles[] = {1e-300, -1.0, std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity()};
    for (double d : trueDoubles) {
        ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromDouble(d), VQX_VARIANT_BOOL, out));
        EXPECT_TRUE(out.boolValue) << d;
    }
    for (double d : {0.0, -0.0}) {
        ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromDouble(d), VQX_VARIANT_BOOL, out));
        EXPECT_FALSE(out.boolValue);
    }
    ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromInt64(int64(1) << 40), VQX_VARIANT_BOOL, out));
    EXPECT_TRUE(out.boolValue);  // high bits alone still count
    ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromInt64(0), VQX_VARIANT_BOOL, out));
    EXPECT_FALSE(out.boolValue);
}

TEST(VariantConvert, DoubleToInt64TruncatesAndSaturatesLow) {
    const struct {
        double value;
        int64 expected;
    } cases[] = {
        {2.9, 2},
        {-2.9, -2},
        {1e30, kLowest},
        {-1e30, kLowest},
        {std::numeric_limits<double>::quiet_NaN(), kLowest},
        {std::numeric_limits<double>::infinity(), kLowest},
        {9223372036854775808.0, kLowest},
        {-9223372036854775808.0, kLowest},
        {9007199254740993.0, 9007199254740992},
    };
    for (const auto& c : cases) {
        VQXVariant out;
        ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromDouble(c.value), VQX_VARIANT_INT64, out));
        EXPECT_EQ(c.expected, out.int64Value) << c.value;
    }
}

TEST(VariantConvert, TextToDouble) {
    const struct {
        const char* text;
        VQX_ERROR result;
        double value;
    } cases[] = {
        {"1e3", VQX_OK, 1000.0},
        {"  -2.5x", VQX_OK, -2.5},
        {".5", VQX_OK, 0.5},
        {"", VQX_OK, 0.0},
        {" ", VQX_OK, 0.0},
        {"0x1p3", VQX_OK, 0.0},  // the runtime reads "0" and stops at the x
        {"\t\n ", VQX_OK, 0.0},
        {"inf", VQX_INVALID_PARAMETER, 0.0},  // no C99 infinity or NaN words
        {"nan", VQX_INVALID_PARAMETER, 0.0},
        {"abc", VQX_INVALID_PARAMETER, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        VQXVariant narrow = VQXVariant::FromString(c.text);
        VQXVariant wide = narrow;
        ASSERT_EQ(VQX_OK, VQXVariantChangeType(&wide, nullptr, VQX_VARIANT_WSTRING));
        for (const VQXVariant* source : {&narrow, &wide}) {
            VQXVariant out = VQXVariant::FromBool(true);
            EXPECT_EQ(c.result, Convert(*source, VQX_VARIANT_DOUBLE, out));
            if (c.result == VQX_OK) {
                EXPECT_EQ(VQX_VARIANT_DOUBLE, out.type);
                EXPECT_EQ(c.value, out.doubleValue);
            } else {
                EXPECT_EQ(VQX_VARIANT_BOOL, out.type);
            }
        }
    }
}

TEST(VariantConvert, NumbersToDouble) {
    VQXVariant out;
    ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromBool(true), VQX_VARIANT_DOUBLE, out));
    EXPECT_EQ(1.0, out.doubleValue);
    ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromInt64(kLowest), VQX_VARIANT_DOUBLE, out));
    EXPECT_EQ(-9223372036854775808.0, out.doubleValue);
    ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromInt64(-7), VQX_VARIANT_DOUBLE, out));
    EXPECT_EQ(-7.0, out.doubleValue);
}

TEST(VariantConvert, ValuesToTextUseTheRuntimePrintFormats) {
    const struct {
        VQXVariant source;
        const char* text;
    } cases[] = {
        {VQXVariant::FromBool(true), "true"},
        {VQXVariant::FromBool(false), "false"},
        {VQXVariant::FromInt64(-5), "-5"},
        {VQXVariant::FromInt64(kLowest), "-9223372036854775808"},
        {VQXVariant::FromInt64(std::numeric_limits<int64>::max()), "9223372036854775807"},
        {VQXVariant::FromDouble(1.5), "1.500000"},
        {VQXVariant::FromDouble(-2.0), "-2.000000"},
        {VQXVariant::FromDouble(0.1), "0.100000"},
        {VQXVariant::FromDouble(1e15), "1000000000000000.000000"},
        {VQXVariant::FromDouble(-0.0000004), "-0.000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        VQXVariant narrow;
        ASSERT_EQ(VQX_OK, Convert(c.source, VQX_VARIANT_STRING, narrow));
        ASSERT_EQ(VQX_VARIANT_STRING, narrow.type);
        EXPECT_STREQ(c.text, narrow.stringValue);
        VQXVariant wide;
        ASSERT_EQ(VQX_OK, Convert(c.source, VQX_VARIANT_WSTRING, wide));
        ASSERT_EQ(VQX_VARIANT_WSTRING, wide.type);
        EXPECT_EQ(std::wstring(c.text, c.text + std::strlen(c.text)), wide.wstringValue);
    }
}

TEST(VariantConvert, HugeDoublesStayInsideTheTextBuffer) {
    for (double value : {1e308, -std::numeric_limits<double>::max(), 1e250}) {
        VQXVariant wide;
        ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromDouble(value), VQX_VARIANT_WSTRING, wide));
        const size_t wideLength = std::wcslen(wide.wstringValue);
        EXPECT_GT(wideLength, 200u);
        EXPECT_LE(wideLength, 254u);
        EXPECT_EQ(value < 0, wide.wstringValue[0] == L'-');
        VQXVariant narrow;
        ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromDouble(value), VQX_VARIANT_STRING, narrow));
        const size_t narrowLength = std::strlen(narrow.stringValue);
        EXPECT_GT(narrowLength, 200u);
        EXPECT_LE(narrowLength, 254u);
        // Both kinds carry the same rendering.
        EXPECT_EQ(std::wstring(narrow.stringValue, narrow.stringValue + narrowLength),
                  wide.wstringValue);
    }
}

TEST(VariantConvert, InfinityPrintsAsTheRuntimeDoes) {
    // The runtime's own rendering, not C99's "inf".
    VQXVariant narrow;
    ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromDouble(std::numeric_limits<double>::infinity()),
                              VQX_VARIANT_STRING, narrow));
    EXPECT_STREQ("1.#INF00", narrow.stringValue);
    VQXVariant wide;
    ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromDouble(-std::numeric_limits<double>::infinity()),
                              VQX_VARIANT_WSTRING, wide));
    EXPECT_STREQ(L"-1.#INF00", wide.wstringValue);
}

TEST(VariantConvert, TextsCrossAsUtf8) {
    VQXVariant wide = VQXVariant::FromWString(L"\u00e9\u20ac\U0001F600");
    VQXVariant narrow;
    ASSERT_EQ(VQX_OK, Convert(wide, VQX_VARIANT_STRING, narrow));
    EXPECT_STREQ("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", narrow.stringValue);
    VQXVariant back;
    ASSERT_EQ(VQX_OK, Convert(narrow, VQX_VARIANT_WSTRING, back));
    EXPECT_STREQ(L"\u00e9\u20ac\U0001F600", back.wstringValue);
    ASSERT_EQ(VQX_OK, Convert(VQXVariant::FromString(""), VQX_VARIANT_WSTRING, back));
    EXPECT_STREQ(L"", back.wstringValue);
}

TEST(VariantConvert, InPlaceConversionReplacesTheText) {
    VQXVariant v = VQXVariant::FromWString(L"caf\u00e9");
    ASSERT_EQ(VQX_OK, VQXVariantChangeType(&v, nullptr, VQX_VARIANT_STRING));
    EXPECT_EQ(VQX_VARIANT_STRING, v.type);
    EXPECT_STREQ("caf\xC3\xA9", v.stringValue);
    ASSERT_EQ(VQX_OK, VQXVariantChangeType(&v, &v, VQX_VARIANT_WSTRING));
    EXPECT_STREQ(L"caf\u00e9", v.wstringValue);
    VQXVariant number = VQXVariant::FromString("0x20");
    ASSERT_EQ(VQX_OK, VQXVariantChangeType(&number, nullptr, VQX_VARIANT_INT64));
    EXPECT_EQ(32, number.int64Value);
    // Same kind in place: nothing happens.
    ASSERT_EQ(VQX_OK, VQXVariantChangeType(&number, nullptr, VQX_VARIANT_INT64));
    EXPECT_EQ(32, number.int64Value);
}

TEST(VariantConvert, EmptyTargetAndUnlistedPairs) {
    VQXVariant value = VQXVariant::FromInt64(5);
    VQXVariant dest = VQXVariant::FromString("kept");
    ASSERT_EQ(VQX_OK, Convert(value, VQX_VARIANT_EMPTY, dest));
    EXPECT_STREQ("kept", dest.stringValue);  // left as it was
    ASSERT_EQ(VQX_OK, VQXVariantChangeType(&value, nullptr, VQX_VARIANT_EMPTY));
    EXPECT_EQ(VQX_VARIANT_INT64, value.type);

    VQXVariant empty;
    ASSERT_EQ(VQX_OK, Convert(empty, VQX_VARIANT_EMPTY, dest));
    EXPECT_EQ(VQX_VARIANT_EMPTY, dest.type);  // same kind: copied, so cleared

    dest = VQXVariant::FromDouble(1.0);
    EXPECT_EQ(VQX_INVALID_PARAMETER, Convert(value, VQX_VARIANT_INTERFACE, dest));
    EXPECT_EQ(VQX_INVALID_PARAMETER, Convert(value, static_cast<VQX_VARIANT_TYPE>(9), dest));
    EXPECT_EQ(VQX_INVALID_PARAMETER, Convert(value, static_cast<VQX_VARIANT_TYPE>(-1), dest));
    for (VQX_VARIANT_TYPE target : {VQX_VARIANT_BOOL, VQX_VARIANT_INT64, VQX_VARIANT_STRING}) {
        EXPECT_EQ(VQX_INVALID_PARAMETER, Convert(empty, target, dest));
    }
    EXPECT_EQ(VQX_VARIANT_DOUBLE, dest.type);
    EXPECT_EQ(1.0, dest.doubleValue);

    VQXPtr<CountedObject> object = VQXPtr<CountedObject>::Adopt(CreateInstance<CountedObject>());
    VQXVariant holder(object.get());
    EXPECT_EQ(VQX_INVALID_PARAMETER, Convert(holder, VQX_VARIANT_BOOL, dest));
    EXPECT_EQ(VQX_INVALID_PARAMETER, Convert(holder, VQX_VARIANT_WSTRING, dest));
    {
        VQXVariant other;
        ASSERT_EQ(VQX_OK, Convert(holder, VQX_VARIANT_INTERFACE, other));
        EXPECT_EQ(object.get(), other.pInterface);
        EXPECT_EQ(3, object->GetRefCount());
    }
    EXPECT_EQ(2, object->GetRefCount());

    // Same kind: a plain copy.
    VQXVariant flag = VQXVariant::FromBool(true);
    ASSERT_EQ(VQX_OK, Convert(flag, VQX_VARIANT_BOOL, dest));
    EXPECT_TRUE(dest.boolValue);
}

TEST(VariantConvert, TextKindWithNullTextDoesNotConvert) {
    VQXVARIANT broken;
    broken.type = VQX_VARIANT_STRING;
    broken.stringValue = nullptr;
    VQXVariant dest = VQXVariant::FromInt64(4);
    for (VQX_VARIANT_TYPE target :
         {VQX_VARIANT_BOOL, VQX_VARIANT_INT64, VQX_VARIANT_DOUBLE, VQX_VARIANT_WSTRING}) {
        EXPECT_EQ(VQX_INVALID_PARAMETER, VQXVariantChangeType(&dest, &broken, target));
    }
    EXPECT_EQ(4, dest.int64Value);
}
