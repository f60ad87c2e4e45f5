// The configuration file loader: any file, then the layout taken from it.
#include "TempFile.h"
#include "app/ConfigFile.h"
#include "app/LayoutConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile(".cfg");
    writeScratch(path, data, size);
    const app::ConfigEntries entries = app::ConfigFile(path).read();
    app::WorkingState state;
    app::loadLayout(entries, state);
    const app::ControllerLayout& l = state.layout;
    if (l.lowestSensorAddress < 0 || l.sensorAddressEnd < 0 || l.sensorAddressEnd > 255)
        __builtin_trap();
    app::portFromConfig(app::ConfigFile::value(entries, QStringLiteral("MAIN_PORT")));
    app::layoutKeys(l);
    return 0;
}
