#include "variant.h"
#include "keth/base/sys.h"
#include "keth/func/exception.h"

#include <climits>

using namespace NKeth;

namespace
{
[[noreturn]] void ThrowTypeError()
{
    throw CException("Variant type error");
}
} // namespace

CVariant::CVariant() : m_Type(TYPE_EMPTY)
{
    MemSet(m_Data, 0, sizeof m_Data);
}

CVariant::CVariant(const CVariant& other) : m_Type(other.m_Type), m_Text(other.m_Text)
{
    MemMove(m_Data, other.m_Data, sizeof m_Data);
}

CVariant::CVariant(const char* text) : m_Type(TYPE_STRING)
{
    MemSet(m_Data, 0, sizeof m_Data);
    m_Text = text;
}

CVariant::CVariant(float x, float y, float z) : m_Type(TYPE_VECTOR3)
{
    MemSet(m_Data, 0, sizeof m_Data);
    m_Data[0] = x;
    m_Data[1] = y;
    m_Data[2] = z;
}

CVariant::CVariant(float x, float y, float z, float w) : m_Type(TYPE_VECTOR4)
{
    MemSet(m_Data, 0, sizeof m_Data);
    m_Data[0] = x;
    m_Data[1] = y;
    m_Data[2] = z;
    m_Data[3] = w;
}

CVariant::CVariant(const float* matrix) : m_Type(TYPE_MATRIX)
{
    MemMove(m_Data, matrix, sizeof m_Data);
}

CVariant& CVariant::operator=(const CVariant& other)
{
    if (this == &other)
        return *this;
    m_Type = other.m_Type;
    MemMove(m_Data, other.m_Data, sizeof m_Data);
    // Every string change allocates: leave two empty texts alone.
    if (m_Text.GetLength() != 0 || other.m_Text.GetLength() != 0)
        m_Text = other.m_Text;
    return *this;
}

CVariant CVariant::FromInt(int32_t value)
{
    CVariant v;
    v.m_Type = TYPE_INT;
    v.SetIntWord(value);
    return v;
}

CVariant CVariant::FromFloat(float value)
{
    CVariant v;
    v.m_Type = TYPE_FLOAT;
    v.m_Data[0] = value;
    return v;
}

CVariant CVariant::FromVector2(float x, float y)
{
    CVariant v;
    v.m_Type = TYPE_VECTOR2;
    v.m_Data[0] = x;
    v.m_Data[1] = y;
    return v;
}

CVariant CVariant::FromPointer(void* pointer)
{
    static_assert(sizeof(void*) <= 2 * sizeof(float), "a pointer must fit the first two data words");
    CVariant v;
    v.m_Type = TYPE_POINTER;
    MemMove(v.m_Data, &pointer, sizeof pointer);
    return v;
}

int32_t CVariant::GetIntWord() const
{
    int32_t value;
    MemMove(&value, m_Data, sizeof value);
    return value;
}

void CVariant::SetIntWord(int32_t value)
{
    MemMove(m_Data, &value, sizeof value);
}

int32_t CVariant::ToInt() const
{
    if (m_Type == TYPE_INT)
        return GetIntWord();
    if (m_Type == TYPE_FLOAT)
    {
        float f = m_Data[0];
        if (f != f)
            return 0;
        if (f >= 2147483647.0f)
            return INT_MAX;
        if (f <= -2147483648.0f)
            return INT_MIN;
        return int32_t(f);
    }
    ThrowTypeError();
}

float CVariant::ToFloat() const
{
    if (m_Type == TYPE_INT)
        return float(GetIntWord());
    if (m_Type == TYPE_FLOAT)
        return m_Data[0];
    ThrowTypeError();
}

CString CVariant::ToString() const
{
    const float* d = m_Data;
    switch (m_Type)
    {
        case TYPE_INT:
            return CString("%d", GetIntWord());
        case TYPE_FLOAT:
            return CString("%f", double(d[0]));
        case TYPE_VECTOR2:
            return CString("(%f %f)", double(d[0]), double(d[1]));
        case TYPE_VECTOR3:
            return CString("(%f %f %f)", double(d[0]), double(d[1]), double(d[2]));
        case TYPE_VECTOR4:
            return CString("(%f %f %f %f)", double(d[0]), double(d[1]), double(d[2]), double(d[3]));
        case TYPE_MATRIX:
            return CString("((%.1f %.1f %.1f %.1f) (%.1f %.1f %.1f %.1f) (%.1f %.1f %.1f %.1f) "
                           "(%.1f %.1f %.1f %.1f))",
                           double(d[0]), double(d[1]), double(d[2]), double(d[3]), double(d[4]), double(d[5]),
                           double(d[6]), double(d[7]), double(d[8]), double(d[9]), double(d[10]),
                           double(d[11]), double(d[12]), double(d[13]), double(d[14]), double(d[15]));
        case TYPE_STRING:
            return m_Text;
        case TYPE_POINTER:
            return CString("[0x%8llx]", static_cast<unsigned long long>(uintptr_t(ToPointer())));
        default:
            ThrowTypeError();
    }
}

CVector3 CVariant::ToVector3() const
{
    if (m_Type != TYPE_VECTOR3)
        return CVector3(0, 0, 0);
    return CVector3(m_Data[0], m_Data[1], m_Data[2]);
}

void* CVariant::ToPointer() const
{
    if (m_Type != TYPE_POINTER)
        return nullptr;
    void* pointer;
    MemMove(&pointer, m_Data, sizeof pointer);
    return pointer;
}
