#include "app/ControllerScan.h"

#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

namespace app {
namespace {


// Asks one address for its version, letting the window breathe before the
// answer is read: the data length, or nothing when the scan is to stop.
std::optional<int> askVersion(bus::SerialLink& link, std::uint8_t address, int step,
                              Progress& progress, ScanObserver& observer) {
    link.SendRequest(address, bus::ctl::ReadVersion);
    progress.StepProgress(step);
    progress.processEvents();
    if (!observer.keepScanning()) {
        progress.CloseProgress();
        return std::nullopt;
    }
    return bus::TakeAnswer(link, bus::Target::Controller, bus::ctl::ReadVersion, bus::Form::Read);
}

int scanDirectSensors(bus::SerialLink& link, ControllerLayout& layout, Progress& progress,
                      ScanObserver& observer) {
    int answered = 0;
    const int n = layout.type().scanSlots;
    progress.ShowProgress(n);
    int lowest = -1;
    int highest = -1;
    for (int i = 0; i < n && !progress.breakRequested(); ++i) {
        const auto address = static_cast<std::uint8_t>(bus::kControllerBase + i);
        const auto version = askVersion(link, address, i + 1, progress, observer);
        if (!version)
            break;
        if (*version >= 1) {
            ++answered;
            if (lowest < 0)
                lowest = i;
            highest = i;
        }
    }
    layout.controllersFound = 0;
    layout.selectedControllers = lowest >= 0 ? 1 : 0;
    if (lowest >= 0) {
        layout.lowestSensorAddress = lowest;
        layout.sensorAddressEnd = highest + 1;
        layout.ControllerTable[0] = {lowest, highest - lowest + 1};
    }
    return answered;
}

std::optional<std::uint8_t> scanControllerSlots(bus::SerialLink& link, ControllerLayout& layout,
                                                Progress& progress, ScanObserver& observer) {
    const int n = layout.type().scanSlots;
    progress.ShowProgress(n);
    observer.scanStarted(n);
    std::optional<std::uint8_t> selected;
    int lowest = kSensorAddresses;
    int end = 0;
    int found = 0;
    quint32 mask = 0;
    for (int i = 0; i < n && !progress.breakRequested(); ++i) {
        const auto address = static_cast<std::uint8_t>(bus::kControllerBase + i);
        const auto version = askVersion(link, address, i + 1, progress, observer);
        if (!version)
            break;
        if (*version <= 0)
            continue;
        if (progress.breakRequested())
            break;
        if (bus::AskController(link, address, bus::ctl::AddressRange, bus::Form::Read) < 3)
            continue;
        // A controller's word is not trusted past the sensor addresses.
        const ControllerEntry range = sensorRange(link.data(1), link.data(2));
        const int first = range.firstSensorAddress;
        const int count = range.sensorCount;
        layout.ControllerTable[i] = range;
        if (!selected)
            selected = address;
        observer.controllerFound(i);
        lowest = std::min(lowest, first);
        end = std::max(end, first + count);
        ++found;
        mask |= 1u << i;
    }
    layout.controllersFound = found;
    layout.selectedControllers = mask;
    if (found > 0) {
        layout.lowestSensorAddress = lowest;
        layout.sensorAddressEnd = end;
    }
    return selected;
}

} // namespace

ScanResult ScanControllers(bus::SerialLink& link, ControllerLayout& layout, Progress& progress,
                           ScanObserver* observer) {
    ScanObserver always;
    ScanObserver& obs = observer ? *observer : always;
    layout.controllersFound = 0;
    layout.selectedControllers = 1;
    layout.lowestSensorAddress = 0;
    layout.sensorAddressEnd = kSensorAddresses;
    layout.ControllerTable.fill({});

    ScanResult result;
    const quint64 heardBefore = link.charactersReceived();
    if (layout.isDirectSensorType()) {
        result.found = scanDirectSensors(link, layout, progress, obs);
    } else {
        result.selectedController = scanControllerSlots(link, layout, progress, obs);
        result.found = layout.controllersFound;
    }
    result.communicationProblem = !link.isOpen();
    result.lineHeard = link.charactersReceived() != heardBefore;
    progress.CloseProgress();
    return result;
}

QString scanSummary(const ScanResult& r) {
    if (r.found > 0)
        return QStringLiteral("НАЙДЕНО КИП: %1").arg(r.found);
    return r.lineHeard ? QStringLiteral("КИП НЕ НАЙДЕНЫ") : QStringLiteral("КИП НЕ НАЙДЕНЫ: НЕТ ОТВЕТА");
}

} // namespace app
