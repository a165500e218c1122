#include "document/CMorphHandleArray.h"

#include <limits>
#include <stdexcept>

void CMorphHandleArray::CheckIndex(int32_t index) const
{
    if (index < 0 || size_t(index) >= m_aItems.size())
        throw std::invalid_argument("point pair index out of range");
}

const CMorphHandle& CMorphHandleArray::GetAt(int32_t index) const
{
    CheckIndex(index);
    return m_aItems[size_t(index)];
}

CMorphHandle& CMorphHandleArray::ElementAt(int32_t index)
{
    CheckIndex(index);
    return m_aItems[size_t(index)];
}

int32_t CMorphHandleArray::Add(const CMorphHandle& handle)
{
    InsertAt(GetSize(), handle);
    return GetSize() - 1;
}

void CMorphHandleArray::InsertAt(int32_t index, const CMorphHandle& handle)
{
    if (index < 0 || size_t(index) > m_aItems.size())
        throw std::invalid_argument("point pair index out of range");
    if (m_aItems.size() >= size_t(std::numeric_limits<int32_t>::max()))
        throw std::length_error("too many point pairs");
    m_aItems.insert(m_aItems.begin() + index, handle);
}

void CMorphHandleArray::RemoveAt(int32_t index)
{
    CheckIndex(index);
    m_aItems.erase(m_aItems.begin() + index);
}

void CMorphHandleArray::RemoveAll()
{
    std::vector<CMorphHandle>().swap(m_aItems);
}
