#pragma once

#include "document/CMorphHandle.h"

#include <cstdint>
#include <vector>

// The ordered list of point pairs, oldest first. Access outside 0 … size − 1
// throws std::invalid_argument.
class CMorphHandleArray
{
public:
    CMorphHandleArray() = default;
    virtual ~CMorphHandleArray() = default;
    CMorphHandleArray(const CMorphHandleArray&) = default;
    CMorphHandleArray& operator=(const CMorphHandleArray&) = default;
    CMorphHandleArray(CMorphHandleArray&&) noexcept = default;
    CMorphHandleArray& operator=(CMorphHandleArray&&) noexcept = default;

    // The same pairs in the same order.
    bool operator==(const CMorphHandleArray& other) const { return m_aItems == other.m_aItems; }

    int32_t GetSize() const { return int32_t(m_aItems.size()); }
    bool IsEmpty() const { return m_aItems.empty(); }

    const CMorphHandle& GetAt(int32_t index) const;
    CMorphHandle& ElementAt(int32_t index);
    const CMorphHandle& operator[](int32_t index) const { return GetAt(index); }
    CMorphHandle& operator[](int32_t index) { return ElementAt(index); }

    // Appends and returns the new element's index.
    int32_t Add(const CMorphHandle& handle);
    // Inserts before index (0 … size); the later ones move up.
    void InsertAt(int32_t index, const CMorphHandle& handle);
    // Removes one element; the later ones move down and keep their order.
    void RemoveAt(int32_t index);
    // Removes everything and frees the storage.
    void RemoveAll();

    const CMorphHandle* GetData() const { return m_aItems.data(); }
    CMorphHandle* GetData() { return m_aItems.data(); }

private:
    void CheckIndex(int32_t index) const;

    std::vector<CMorphHandle> m_aItems;
};
