#pragma once

#include <QString>

namespace bus {

// A bare port number n in the configuration means COMn; on Linux that is
// the conventional /dev/ttyS(n-1).
QString portNameForNumber(int number);
// The number of a name that portNameForNumber would give, else 0.
int portNumberOfName(const QString& name);

} // namespace bus
