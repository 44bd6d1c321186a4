#pragma once

namespace palvuro {

// The fuzz targets need Qt's event loop (posted window messages, the local socket) but
// libFuzzer owns main(): the first call makes a QCoreApplication that lives as long as the
// process. Under a test's own application it does nothing.
class FuzzApplication {
public:
    static void ensure();
};

} // namespace palvuro
