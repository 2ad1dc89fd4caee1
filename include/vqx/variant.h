// The tagged value in which every property value travels, and the functions that own its texts
// and interface references.
// Ownership: a variant of kind STRING/WSTRING owns a malloc'ed copy of its text; of kind INTERFACE
// one reference. Passing the record by value transfers nothing; VQXVariant clears itself.
// Thread rules: no locking; one variant belongs to one thread at a time.
// Text conversions use the C runtime's (msvcrt) scanf/printf formats. Implementation choices:
// a text kind holding a null text (left by a failed allocation) converts to nothing
// (VQX_INVALID_PARAMETER) and compares equal only to another null text; a text that ends after
// blanks (or after the "0x" prefix) scans as 0 on every runtime; "%lf" renderings longer than
// 254 units (doubles near the top of the range) are cut, the same way for 8-bit and wide text.
#pragma once

#include <vqx/interface.h>

namespace vqx {

enum VQX_VARIANT_TYPE : int32 {
    VQX_VARIANT_EMPTY = 0,
    VQX_VARIANT_BOOL = 1,
    VQX_VARIANT_INT64 = 2,
    VQX_VARIANT_DOUBLE = 3,
    VQX_VARIANT_STRING = 4,
    VQX_VARIANT_WSTRING = 5,
    VQX_VARIANT_INTERFACE = 6,
};

struct VQXVARIANT {
    VQX_VARIANT_TYPE type;
    union {
        bool boolValue;
        int64 int64Value;
        double doubleValue;
        char* stringValue;
        wchar_t* wstringValue;
        VQXInterface* pInterface;
    };
};

extern "C" {
VQX_API VQX_ERROR VQX_CALL VQXVariantInit(VQXVARIANT* variant);
VQX_API VQX_ERROR VQX_CALL VQXVariantClear(VQXVARIANT* variant);
VQX_API VQX_ERROR VQX_CALL VQXVariantAssignBool(VQXVARIANT* dest, bool value);
VQX_API VQX_ERROR VQX_CALL VQXVariantAssignInt64(VQXVARIANT* dest, int64 value);
VQX_API VQX_ERROR VQX_CALL VQXVariantAssignDouble(VQXVARIANT* dest, double value);
VQX_API VQX_ERROR VQX_CALL VQXVariantAssignString(VQXVARIANT* dest, const char* value);
VQX_API VQX_ERROR VQX_CALL VQXVariantAssignWString(VQXVARIANT* dest, const wchar_t* value);
VQX_API VQX_ERROR VQX_CALL VQXVariantAssignInterface(VQXVARIANT* dest, VQXInterface* value);
VQX_API VQX_ERROR VQX_CALL VQXVariantCopy(VQXVARIANT* dest, const VQXVARIANT* src);
VQX_API VQX_ERROR VQX_CALL VQXVariantCompare(const VQXVARIANT* a, const VQXVARIANT* b, bool& equal);
// src null converts dest in place.
VQX_API VQX_ERROR VQX_CALL VQXVariantChangeType(VQXVARIANT* dest, const VQXVARIANT* src, VQX_VARIANT_TYPE target);
}

// Owning wrapper: copies with VQXVariantCopy, clears on destruction. No fields of its own.
class VQXVariant : public VQXVARIANT {
public:
    VQXVariant() { VQXVariantInit(this); }
    VQXVariant(const VQXVARIANT& other) {
        VQXVariantInit(this);
        VQXVariantCopy(this, &other);
    }
    VQXVariant(const VQXVariant& other) : VQXVARIANT() {
        VQXVariantInit(this);
        VQXVariantCopy(this, &other);
    }
    explicit VQXVariant(VQXInterface* value) {
        VQXVariantInit(this);
        if (value != nullptr) VQXVariantAssignInterface(this, value);
    }
    ~VQXVariant() { VQXVariantClear(this); }

    VQXVariant& operator=(const VQXVARIANT& other) {
        VQXVariantCopy(this, &other);
        return *this;
    }
    VQXVariant& operator=(const VQXVariant& other) {
        VQXVariantCopy(this, &other);
        return *this;
    }

    // Convenience constructors used inside the library and by hosts.
    static VQXVariant FromBool(bool value) {
        VQXVariant v;
        VQXVariantAssignBool(&v, value);
        return v;
    }
    static VQXVariant FromInt64(int64 value) {
        VQXVariant v;
        VQXVariantAssignInt64(&v, value);
        return v;
    }
    static VQXVariant FromDouble(double value) {
        VQXVariant v;
        VQXVariantAssignDouble(&v, value);
        return v;
    }
    static VQXVariant FromString(const char* value) {
        VQXVariant v;
        VQXVariantAssignString(&v, value);
        return v;
    }
    static VQXVariant FromWString(const wchar_t* value) {
        VQXVariant v;
        VQXVariantAssignWString(&v, value);
        return v;
    }

    // Payload when already of the kind, else converted through a temporary. A failed
    // conversion reads as false / 0. ToBool of an empty variant is false.
    bool ToBool() const {
        if (type == VQX_VARIANT_BOOL) return boolValue;
        if (type == VQX_VARIANT_EMPTY) return false;
        VQXVariant converted;
        if (VQXVariantChangeType(&converted, this, VQX_VARIANT_BOOL) != VQX_OK) return false;
        return converted.type == VQX_VARIANT_BOOL && converted.boolValue;
    }
    int64 ToInt64() const {
        if (type == VQX_VARIANT_INT64) return int64Value;
        VQXVariant converted;
        if (VQXVariantChangeType(&converted, this, VQX_VARIANT_INT64) != VQX_OK) return 0;
        return converted.type == VQX_VARIANT_INT64 ? converted.int64Value : 0;
    }
};

}  // namespace vqx
