#pragma once
// The two protocol types as the rows of a data-driven test: one column
// "protocol" (link::Protocol), rows "Rs-485" and "MODBUS".

#include "link/Frame.h"

#include <QtTest>

namespace kelvar::test {

inline const char *protocolName(link::Protocol protocol)
{
    return protocol == link::Protocol::Rs485 ? "Rs-485" : "MODBUS";
}

inline void addProtocolRows()
{
    QTest::addColumn<link::Protocol>("protocol");
    for (link::Protocol protocol : {link::Protocol::Rs485, link::Protocol::Modbus})
        QTest::newRow(protocolName(protocol)) << protocol;
}

} // namespace kelvar::test
