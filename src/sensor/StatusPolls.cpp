#include "sensor/StatusPolls.h"

#include "app/FrontWatch.h"
#include "link/Command.h"
#include "link/DeviceText.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"
#include "sensor/ValueFormats.h"

#include <QElapsedTimer>
#include <QThread>

namespace sensor {
namespace {

constexpr int kIdleMs = 10;
constexpr int kChannels = 8;
constexpr int kFullStatusBytes = 30;

// A short pause that keeps the window alive.
void idle(app::Progress& progress, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        progress.processEvents();
        QThread::msleep(2);
    }
}

// What one sensor's row came to.
enum class Row { Answered, Silent, NotAsked, Stop };

// Visits the sensors in address order. perSensor(c, j, address, row, front)
// fills one row and says how it went; it tells front of every answer it
// waited for, and stops the row when front gives up. Behind a front that
// stayed silent (a dead line, a silent controller) the rows keep only their
// numbers: nobody there is asked. Rows are started in grid and in also.
template <typename PerSensor>
PollResult walkSensors(bus::SerialLink& link, const app::ControllerLayout& layout,
                       app::Progress& progress, StatusGrid& grid, StatusGrid* also,
                       bool pauseOnEmpty, int stepsPerRow, const RowDone& rowDone,
                       PerSensor perSensor) {
    PollResult result;
    app::FrontWatch front(link, layout);
    const int controllers = layout.isNoControllerType() ? 1 : app::kControllerSlots;
    int row = 0;
    for (int c = 0; c < controllers && !result.stopped; ++c) {
        if (!layout.isPresent(c) && !layout.isNoControllerType())
            continue;
        const app::ControllerEntry& e = layout.ControllerTable[c];
        if (e.sensorCount == 0 && pauseOnEmpty)
            idle(progress, kIdleMs);
        for (int j = 0; j < e.sensorCount && row < static_cast<int>(grid.rows.size()); ++j, ++row) {
            if (progress.breakRequested()) {
                result.stopped = true;
                break;
            }
            const int address = e.firstSensorAddress + j;
            // Controllers and broadcasts live from 0x80 up; never poll them
            // as a sensor, whatever the layout says.
            if (address >= app::kSensorAddresses)
                break;
            grid.startRow(row, address);
            if (also)
                also->startRow(row, address);
            Row outcome = Row::NotAsked;
            if (front.asking(c)) {
                outcome = perSensor(c, j, address, row, front);
            } else {
                front.skip(c, address);
                progress.StepProgress((row + 1) * stepsPerRow);
            }
            if (outcome == Row::Silent)
                result.unanswered.push_back(address);
            if (outcome == Row::Silent || outcome == Row::Answered)
                ++result.asked;
            if (outcome == Row::Answered)
                ++result.answered;
            const bool goOn = outcome != Row::Stop;
            if (rowDone)
                rowDone(row);
            progress.processEvents();
            if (!goOn || progress.breakRequested()) {
                result.stopped = true;
                break;
            }
        }
    }
    // Rows no present controller fills would show another sensor's past.
    if (!result.stopped)
        for (auto r = static_cast<std::size_t>(row); r < grid.rows.size(); ++r)
            for (QString& cell : grid.rows[r])
                cell.clear();
    result.silentFronts = front.silentFronts();
    result.linkLost = !link.isOpen();
    progress.CloseProgress();
    return result;
}

// One read of a sensor; the data length or -1.
int ask(bus::SerialLink& link, int address, std::uint8_t command, int payloadByte = -1,
        bus::Form form = bus::Form::Read, int needs = 0) {
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(payloadByte)};
    return bus::AskSensor(link, static_cast<std::uint8_t>(address), command, form,
                          payloadByte >= 0 ? std::span(payload) : std::span<const std::uint8_t>(),
                          needs);
}

bool prepared(const app::ControllerLayout& layout, app::Progress& progress, StatusGrid& grid,
              int stepsPerRow) {
    const int rows = gridRowCount(layout);
    grid.resize(rows);
    if (rows == 0) {
        grid.visible = false;
        return false;
    }
    progress.ShowProgress(stepsPerRow * rows);
    return true;
}

} // namespace

QString pollSummary(const PollResult& r) {
    QStringList parts;
    // A line where nobody answered is said in the fronts' words alone.
    if (r.answered > 0 || r.silentFronts.empty())
        parts << QStringLiteral("ОПРОШЕНО: %1 из %2").arg(r.answered).arg(r.asked);
    for (const app::SilentFront& f : r.silentFronts)
        parts << app::silentFrontText(f);
    return parts.join(QStringLiteral("; "));
}

int gridRowCount(const app::ControllerLayout& layout) {
    if (layout.isNoControllerType())
        return layout.ControllerTable[0].sensorCount;
    int rows = 0;
    for (const app::ControllerEntry& e : layout.ControllerTable)
        rows += e.sensorCount;
    return rows;
}

PollResult PollStatusCombined(bus::SerialLink& link, const app::ControllerLayout& layout,
                              app::Progress& progress, StatusGrid& grid, const RowDone& rowDone) {
    if (!prepared(layout, progress, grid, 1))
        return {};
    grid.visible = true;
    return walkSensors(link, layout, progress, grid, nullptr, true, 1, rowDone,
                       [&](int c, int, int address, int row, app::FrontWatch& front) {
                           const int n = ask(link, address, bus::sns::ReadFullStatus);
                           if (n >= kFullStatusBytes) {
                               const std::uint8_t* d = link.receiveBuffer();
                               grid.set(row, ColStatus, formatStatusWord(d[0], d[1]));
                               grid.set(row, ColFuel, formatLevel(d + 2));
                               grid.set(row, ColWater, formatLevel(d + 6));
                               grid.set(row, ColTemperature, formatTemperature(d + 10));
                               grid.set(row, ColDensity, formatSigned16(d + 14));
                               grid.set(row, ColVolume, formatSigned32(d + 18));
                               grid.set(row, ColMass, formatSigned32(d + 24));
                           }
                           progress.StepProgress(0);
                           front.sensorAnswered(c, n >= 0);
                           return n >= 0 ? Row::Answered : Row::Silent;
                       });
}

PollResult PollStatusPerValue(bus::SerialLink& link, const app::ControllerLayout& layout,
                              app::Progress& progress, StatusGrid& grid, const RowDone& rowDone) {
    if (!prepared(layout, progress, grid, 1))
        return {};
    const bool trigger = layout.type().measureTrigger;
    struct Value {
        std::uint8_t command;
        int column;
        int needs;
        QString (*format)(const std::uint8_t*);
    };
    const Value values[] = {
        {bus::sns::ReadFuelLevel, ColFuel, 4, formatLevel},
        {bus::sns::ReadWaterLevel, ColWater, 4, formatLevel},
        {bus::sns::ReadTemperature, ColTemperature, 4, formatTemperature},
        {bus::sns::ReadDensity, ColDensity, 4, formatSigned16},
        {bus::sns::ReadVolume, ColVolume, 6, formatSigned32},
        {bus::sns::ReadMass, ColMass, 6, formatSigned32},
    };
    PollResult r =
        walkSensors(link, layout, progress, grid, nullptr, true, 1, rowDone,
                    [&](int c, int, int address, int row, app::FrontWatch& front) {
                        const int status = ask(link, address, bus::sns::ReadStatus);
                        bool heard = status >= 0;
                        if (status >= 2)
                            grid.set(row, ColStatus, formatStatusWord(link.data(0), link.data(1)));
                        bool asking = front.sensorAnswered(c, heard);
                        for (const Value& v : values) {
                            if (!asking)
                                break;
                            if (progress.breakRequested())
                                return Row::Stop;
                            if (trigger && v.command == bus::sns::ReadVolume) {
                                // Starts the sensor's next measurement; it sends no answer.
                                ask(link, address, bus::sns::Trigger, -1, bus::Form::Unanswered);
                                break;
                            }
                            const int n = ask(link, address, v.command);
                            heard = heard || n >= 0;
                            if (n >= v.needs)
                                grid.set(row, v.column, v.format(link.receiveBuffer()));
                            asking = front.sensorAnswered(c, n >= 0);
                        }
                        progress.StepProgress(0);
                        return heard ? Row::Answered : Row::Silent;
                    });
    grid.visible = true;
    return r;
}

bool usesPerValuePoll(const app::ControllerLayout& layout, bool mirel) {
    return mirel || layout.type().measureTrigger;
}

PollResult PollGeneralStatus(bus::SerialLink& link, const app::ControllerLayout& layout,
                             app::Progress& progress, StatusGrid& grid, bool mirel,
                             const RowDone& rowDone) {
    if (usesPerValuePoll(layout, mirel))
        return PollStatusPerValue(link, layout, progress, grid, rowDone);
    return PollStatusCombined(link, layout, progress, grid, rowDone);
}

PollResult PollExtendedStatus(bus::SerialLink& link, const app::ControllerLayout& layout,
                              app::Progress& progress, StatusGrid& thermometers,
                              StatusGrid& densities, const RowDone& rowDone) {
    densities.resize(gridRowCount(layout));
    constexpr int kSteps = 2 * kChannels;
    if (!prepared(layout, progress, thermometers, kSteps)) {
        densities.visible = false;
        return {};
    }
    thermometers.visible = densities.visible = true;
    return walkSensors(
        link, layout, progress, thermometers, &densities, true, kSteps, rowDone,
        [&](int c, int, int address, int row, app::FrontWatch& front) {
            const int status = ask(link, address, bus::sns::ReadStatus, -1, bus::Form::Retried, 2);
            front.sensorAnswered(c, status >= 0);
            const int position = row * kSteps;
            if (status < 2) {
                progress.StepProgress(position + kSteps);
                idle(progress, kIdleMs);
                return status >= 0 ? Row::Answered : Row::Silent;
            }
            for (int n = 1; n <= kChannels; ++n) {
                if (progress.breakRequested())
                    return Row::Stop;
                if (ask(link, address, bus::sns::ReadThermometer, n) >= 5)
                    thermometers.set(row, n, formatTemperature(link.receiveBuffer() + 1));
                progress.StepProgress(position + n);
            }
            for (int n = 1; n <= kChannels; ++n) {
                if (progress.breakRequested())
                    return Row::Stop;
                if (ask(link, address, bus::sns::ReadDensityChannel, n) >= 5)
                    densities.set(row, n, formatSigned16(link.receiveBuffer() + 1));
                progress.StepProgress(position + kChannels + n);
            }
            return Row::Answered;
        });
}

PollResult PollConfigOverview(bus::SerialLink& link, const app::ControllerLayout& layout,
                              app::Progress& progress, StatusGrid& grid, const RowDone& rowDone) {
    if (!prepared(layout, progress, grid, 2))
        return {};
    int maskOf = -1;
    quint32 mask = 0;
    PollResult r = walkSensors(
        link, layout, progress, grid, nullptr, false, 2, rowDone,
        [&](int c, int j, int address, int row, app::FrontWatch& front) {
            const int position = row * 2;
            if (maskOf != c) {
                maskOf = c;
                mask = 1;
                if (!layout.isNoControllerType()) {
                    // Controller 0 is asked by its address only when the layout
                    // came from a scan.
                    const bool own = c >= 1 || layout.controllersFound > 0;
                    const int controller = own ? bus::kControllerBase + c : bus::kReleaseBroadcast;
                    const int n = bus::AskController(link, static_cast<std::uint8_t>(controller),
                                                     bus::ctl::ReadState, bus::Form::Read);
                    mask = n >= 3 ? (quint32(link.data(1)) << 8) | link.data(2) : 0x00FF;
                    // Nobody answers the broadcast: it says nothing of the controller.
                    if (own)
                        front.controllerAnswered(c, n >= 0);
                }
            }
            if (j >= 16 || !((mask >> j) & 1u)) {
                progress.StepProgress(position + 2);
                idle(progress, kIdleMs);
                return Row::NotAsked;
            }
            const int version = ask(link, address, bus::sns::ReadVersion);
            if (version >= 1)
                grid.set(row, ColVersion, bus::deviceText(link.receiveBuffer(), version));
            progress.StepProgress(position + 1);
            if (!front.sensorAnswered(c, version >= 0)) {
                progress.StepProgress(position + 2);
                return Row::Silent;
            }
            if (progress.breakRequested())
                return Row::Stop;
            const int length = ask(link, address, bus::sns::ReadLength);
            if (length >= 6) {
                grid.set(row, ColHeight, QString::number((link.data(0) << 8) + link.data(1)));
                grid.set(row, ColThermometers, QString::number(link.data(4)));
                grid.set(row, ColDensityMeters, QString::number(link.data(5)));
            }
            progress.StepProgress(position + 2);
            front.sensorAnswered(c, length >= 0);
            return version >= 0 || length >= 0 ? Row::Answered : Row::Silent;
        });
    grid.visible = true;
    return r;
}

} // namespace sensor
