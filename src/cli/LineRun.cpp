#include "cli/LineRun.h"

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LineLayout.h"
#include "link/SerialLink.h"
#include "link/Transit.h"

#include <algorithm>

namespace cli {

int runOnLine(bus::SerialLink& link, const Command& command, const CliOptions& options) {
    link.setReadOnly(options.readOnly);
    // A controller that never answered leaving transit may still relay the
    // line, one that never answered the end of service mode may still be in
    // it: whatever the command did, the engineer is told.
    const bus::TransitWatch watch(link);
    int code = command.onLine(link, options);
    // The link's own guard caught a write the words did not show.
    if (link.writesRefused() > 0)
        code = std::max(code, fail(bus::kReadOnlyRefusal));
    if (!watch.leftOn().empty())
        code = std::max(code, fail(QStringLiteral("КИП остался в режиме ТРАНЗИТ"), 1));
    for (std::uint8_t controller : watch.serviceLeftOn())
        code = std::max(code, fail(bus::serviceLeftOnText(controller), 1));
    return code;
}

} // namespace cli
