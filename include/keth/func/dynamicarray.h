#pragma once
#include "keth/base/log.h"
#include "keth/base/memorymanager.h"

#include <climits>
#include <cstdint>
#include <type_traits>

namespace NKeth
{
// Growable array that keeps no spare room: Add grows the storage by exactly one element.
// Callers that know the final size reserve it with SetCapacity or SetCount.
template <class T> class TDynamicArray
{
    // Class types live as constructed objects in every slot; plain types in raw memory.
    static const bool PLAIN =
        std::is_trivially_copyable<T>::value && std::is_trivially_default_constructible<T>::value;

public:
    TDynamicArray() : m_Data(AllocateStorage(1)), m_Capacity(1), m_Count(0) {}
    TDynamicArray(const TDynamicArray& other) : m_Data(AllocateStorage(1)), m_Capacity(1), m_Count(0)
    {
        *this = other;
    }
    virtual ~TDynamicArray() { ReleaseStorage(m_Data); }

    TDynamicArray& operator=(const TDynamicArray& other)
    {
        if (this == &other)
            return *this;
        if (!SetCount(0) || !SetCapacity(other.m_Count > 0 ? other.m_Count : 1))
            return *this;
        for (int i = 0; i < other.m_Count; ++i)
            m_Data[i] = other.m_Data[i];
        m_Count = other.m_Count;
        return *this;
    }

    void Clear()
    {
        ReleaseStorage(m_Data);
        m_Data = AllocateStorage(1);
        m_Capacity = 1;
        m_Count = 0;
    }

    // Reallocates to exactly n elements; a size that does not fit 32 bits is refused with a
    // log line and leaves the array as it was.
    bool SetCapacity(int n)
    {
        if (n < 1 || int64_t(n) * int64_t(sizeof(T)) > int64_t(INT_MAX))
        {
            Log("TDynamicArray: refused capacity of %d elements of %d bytes\n", n, int(sizeof(T)));
            return false;
        }
        T* data = AllocateStorage(n);
        int keep = m_Count < n ? m_Count : n;
        for (int i = 0; i < keep; ++i)
            data[i] = m_Data[i];
        ReleaseStorage(m_Data);
        m_Data = data;
        m_Capacity = n;
        m_Count = keep;
        return true;
    }

    bool SetCount(int n)
    {
        if (n < 0 || (m_Capacity < n && !SetCapacity(n)))
            return false;
        m_Count = n;
        return true;
    }

    // Returns the new element's index, or -1 when the array cannot grow.
    int Add(const T& item)
    {
        if (m_Count == INT_MAX)
            return -1;
        int n = m_Count + 1;
        if (m_Capacity < n)
        {
            // The item may live inside this array: copy it before the storage moves.
            T copy(item);
            if (!SetCapacity(n))
                return -1;
            m_Count = n;
            m_Data[n - 1] = copy;
            return n - 1;
        }
        m_Count = n;
        m_Data[n - 1] = item;
        return n - 1;
    }

    // For arrays of pointers to polymorphic objects: deletes every element, then clears.
    void DeleteAll()
    {
        for (int i = 0; i < m_Count; ++i)
            delete m_Data[i];
        Clear();
    }

    int GetCount() const { return m_Count; }
    int GetCapacity() const { return m_Capacity; }
    T* GetData() { return m_Data; }
    const T* GetData() const { return m_Data; }
    T& operator[](int i) { return m_Data[i]; }
    const T& operator[](int i) const { return m_Data[i]; }

    T* m_Data;
    int32_t m_Capacity;
    int32_t m_Count;

private:
    static T* AllocateStorage(int n)
    {
        if constexpr (PLAIN)
            return static_cast<T*>(NMemoryManager::Allocate(int(n * sizeof(T)), __FILE__, __LINE__));
        else
            return NEW T[n];
    }

    static void ReleaseStorage(T* data)
    {
        if constexpr (PLAIN)
            NMemoryManager::Free(data, __FILE__, __LINE__);
        else
            delete[] data;
    }
};
} // namespace NKeth
