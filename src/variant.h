#pragma once
#include "keth/func/string.h"
#include "keth/func/vector.h"

#include <cstdint>

// One typed value: a script value or an effect output. Copied by value, never shared.
class CVariant
{
public:
    enum EType : uint32_t
    {
        TYPE_EMPTY = 0,
        TYPE_INT = 1,
        TYPE_FLOAT = 2,
        TYPE_VECTOR2 = 3,
        TYPE_VECTOR3 = 4,
        TYPE_VECTOR4 = 5,
        TYPE_MATRIX = 6,
        TYPE_STRING = 7,
        TYPE_POINTER = 8,
    };

    CVariant();
    CVariant(const CVariant& other);
    explicit CVariant(const char* text);
    CVariant(float x, float y, float z);
    CVariant(float x, float y, float z, float w);
    // Sixteen floats in the order given (column-major as OpenGL takes them).
    explicit CVariant(const float* matrix);
    CVariant& operator=(const CVariant& other);

    // Values the text reader and the effects make by setting the type and the first words.
    static CVariant FromInt(int32_t value);
    static CVariant FromFloat(float value);
    static CVariant FromVector2(float x, float y);
    static CVariant FromPointer(void* pointer);

    // Int, or float truncated toward zero (saturated to the int range); otherwise throws
    // "Variant type error".
    int32_t ToInt() const;
    // Int converted, float as is; otherwise throws "Variant type error".
    float ToFloat() const;
    // Text form by type; an empty value (or an unknown type) throws "Variant type error".
    NKeth::CString ToString() const;
    // A vector3's components; (0, 0, 0) for every other type.
    NKeth::CVector3 ToVector3() const;
    // The pointer of a pointer value; null for every other type.
    void* ToPointer() const;

    // The words of the data as stored, whatever the type.
    int32_t GetIntWord() const;
    void SetIntWord(int32_t value);

    uint32_t m_Type;
    float m_Data[16];
    NKeth::CString m_Text;
};
