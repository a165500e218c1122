#pragma once

#include <QTest>

#include <array>
#include <cstddef>

// Declares a data table's columns in one line, in order:
// Columns<int, QString>({"count", "name"}).
template <typename... T>
void Columns(const std::array<const char*, sizeof...(T)>& names)
{
    std::size_t i = 0;
    (QTest::addColumn<T>(names[i++]), ...);
}
