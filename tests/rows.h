#pragma once

#include <QTest>

// A data table's row on one line: row("name", a, b, c). A table of one struct per row takes a
// column "r" (TABLE(Type)) and reads it with FETCH(Type).
template<typename... T> void row(const char *name, const T &...values)
{
    (QTest::newRow(name) << ... << values);
}
#define TABLE(Type) QTest::addColumn<Type>("r")
#define FETCH(Type) QFETCH(Type, r)
