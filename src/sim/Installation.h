#pragma once

#include "link/FrameCodec.h"
#include "link/LineRecording.h"
#include "sim/Scenario.h"

#include <QByteArray>

#include <QList>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace sim {

// What a controller keeps about the alarms of one sensor.
struct SimAlarm {
    std::array<int, 5> thresholds{1800, 1710, 150, 40, 200}; // fuel max, 95 %, min, water, leak
    quint32 volume = 0xFFFFFFFFu;                            // none set
    std::array<int, 2> contacts{};
    int enables = 0x05;
    std::array<int, 2> modes{0x7F, 0x7F};
};

// A controller's two processors, each on a port of its own.
enum class Cpu { Main, Keyboard };

struct SimController {
    int index = 0;
    int first = 0;
    int count = 0;
    QByteArray version;
    bool transit = false;
    Fault fault = Fault::None;
    // Settings kept in the controller.
    int interval = 100; // tenths of a second
    std::array<int, 2> channels{1, 0};
    QByteArray workingPassword = "1111";
    QByteArray systemPassword = "2580";
    int option = 0x0C;              // bit 3: poll by the sensor map
    int statePolls = 0;             // status words read, so the lamps move
    bool service = false;           // between 0xA0 and 0xA5
    std::map<int, SimAlarm> alarms; // by sensor address
    bool oldRelayForm = false;
    std::array<int, 4> relayEvents{};
    std::array<int, 4> relaySensors{};
    // Calibration tables: paged flash, the allocation table, and how the
    // page size is told (0x78 answered, silent, or answered with 0).
    enum class PageSizeReply { Told, Silent, Zero };
    int pageSize = 264;
    PageSizeReply pageSizeReply = PageSizeReply::Told;
    QByteArray flash;      // pages x page size, erased (0xFF) at first use
    QByteArray allocation; // 16 entries of 4 bytes (type 2: 1 entry)
    int writeAt = -1;      // flash offset the next 0x52 block goes to
    int tableStart = -1;   // where the table being written began
    // A fault for the read-back: the next table written keeps one byte
    // wrong (its byte at this offset flipped); -1 for none.
    int corruptNextTableAt = -1;
    // Each processor's boot loader: running or not, and the program flash
    // it writes (128 KiB, erased at first use).
    std::array<bool, 2> inBootLoader{};
    std::array<QByteArray, 2> program;
    QByteArray date = "VQ.DATE.30-11-2026";
    QByteArray keyboardVersion = "KBD-LCD V2.07";
    // The emergency update flag (0xAE): after power-up the controller
    // passes the line to its sensors as in transit.
    bool emergencyFlag = false;
    bool powered = true;
    int powerOnAfter = 0; // requests until switched on again (0: stays as is)
    // The main processor's firmware no longer runs: its boot loader still
    // starts on 0x5A.
    bool firmwareDead = false;
    // Requests by command code this controller does not hear (-1: never).
    std::map<int, int> unheard;
};

// A measured value in tenths with its status code.
struct Reading {
    int tenths = 0;
    int code = 0;
};

struct SimSensor {
    int address = 0;
    QByteArray version;
    Fault fault = Fault::None;
    // Memory cells: heights as 2 bytes, identifiers as 16 characters.
    std::map<int, QByteArray> cells;
    // Not fitted: the controller still reports its status word as 00 00.
    bool absent = false;
    int s1 = 0;    // fault summary: bit 0 level, bit 1 temperature, bit 2 density
    int s2 = 0x13; // non-zero for a sensor that exists; bit 0: it has a level probe
    Reading fuel, water, temperature, density, volume, mass;
    std::array<Reading, 8> thermometers;
    std::array<Reading, 8> densityChannels;
    int length = 0;
    bool wide = false; // segments of 31.25 mm (the old wide probe), else 15.625 mm
    int thermometerCount = 0;
    int densityCount = 0;
    int polls = 0;    // readings taken, so values move a little
    int triggers = 0; // measurement cycles started by 0x8A
    // Settings (cells 0x90 and 0x91 live in cells).
    int flags = 0x48; // 0x4F; bit 6 is one the tool never shows
    int fillCriterionTenths = 35;
    int workingSegments = 0;
    int removedSegments = 0;
    int codeUpdate = 0x80; // bit 7 update allowed, bit 6 algorithm
    int counter = 10;
    int counterValue = 0;
    std::array<float, 8> sectionCorrections{};
    // Density meters: the correction each holds (0 until initialised), and
    // an error code their register reads fail with (0 = none).
    std::array<float, 8> densityCorrections{};
    int meterErrorCode = 0;
    // The thermometer search answers with the codes of the fitted
    // thermometers; the one at this place (1..8) comes with a bad CRC.
    int badSearchCode = 0;
    // Alarm state masks (controlled, happened, sounding) and what the memory
    // test answers.
    std::array<int, 3> alarmState{0x0D, 0x01, 0x01};
    QByteArray memoryTestAnswer = QByteArray(1, 0);
    // Learned reference codes per segment (0 and 255: none), index 0 at
    // the top of the probe; sized to the segment count when first asked.
    QByteArray dryCodes;
    QByteArray wetCodes;
    // The wet reference array ends early at this block (0 = never).
    int wetBlockCut = 0;
    // Firmware: the boot loader's program flash (128 KiB, erased at first
    // use), whether the loader runs, and firmware that no longer runs.
    bool inBootLoader = false;
    bool firmwareBroken = false;
    QByteArray program;
    QByteArray date = "DUT.DATE.14-10-2026";
};

// A device's answer: data bytes, or for raw-text replies data byte 0 and text.
struct Answer {
    QByteArray data;
    QByteArray text;
};

// Characters a device puts on the line and when, after the request ended.
struct Outgoing {
    QByteArray chars;
    int delayMs = 0;
};

// The devices on the line. Stateless about time: the wire decides when
// characters move; this only answers one request frame at a time.
class Installation {
  public:
    explicit Installation(const Scenario& scenario);

    // A request as the processor on that port hears it.
    std::optional<Outgoing> respond(QByteArrayView requestChars, Cpu cpu = Cpu::Main);

    int type() const { return m_type; }
    // Controller at bus address 0x80 + index; in the direct-sensor type every
    // sensor has one of its own.
    SimController* controller(int index);
    SimSensor* sensor(int address);
    void setControllerFault(int index, Fault fault);
    void setSensorFault(int address, Fault fault);
    // The controller's power switch; switched on, its sensors start again
    // (broken firmware leaves a sensor in its boot loader).
    void setPower(int index, bool on);
    // The adapter's echo of every request, and a line with no device on it.
    bool echoes() const { return m_echo; }
    void setEcho(bool on) { m_echo = on; }
    void setNoDevices(bool none) { m_noDevices = none; }
    // Number of request frames the devices have seen (for tests).
    int requestsSeen() const { return m_requestsSeen; }
    // Replay: every request is answered as the recording has it (the same
    // request's next answer, with its delay); the devices stay out. A
    // request the recording does not hold goes unanswered and is told.
    void setReplay(std::shared_ptr<bus::RecordedAnswers> answers,
                   std::function<void(const QByteArray& request)> unheld) {
        m_replay = std::move(answers);
        m_unheld = std::move(unheld);
    }
    // Requests that change what a device keeps (sim/WritingRequests.h),
    // as they came, whether answered or not.
    const QList<QByteArray>& writesSeen() const { return m_writesSeen; }
    // Told of each such request as it comes.
    void setWriteHeard(std::function<void(const QByteArray& request)> heard) {
        m_writeHeard = std::move(heard);
    }
    // Requests with a wrong checksum or layout, which no device answers.
    int badRequestsSeen() const { return m_badRequests; }
    // The scenario's "cut" happened: nothing answers any more.
    bool lineCut() const { return m_lineCut; }

    // The controller whose range holds the sensor address, if any.
    SimController* controllerServing(int address);
    // A sensor is heard on the line directly in types 2 and 5, otherwise
    // only while the controller that serves it is in transit.
    bool reachable(const SimSensor& sensor);

  private:
    SimController makeController(int index, int first, int count, Fault fault) const;
    std::optional<Answer> answer(const bus::DecodedRequest& req, Cpu cpu, Fault& fault,
                                 std::uint8_t& from);
    std::optional<Answer> controllerAnswer(const bus::DecodedRequest& req, Cpu cpu, Fault& fault);
    // The broadcast address a boot loader listens on.
    std::optional<Answer> bootLoaderAnswer(const bus::DecodedRequest& req, Cpu cpu, Fault& fault);
    std::optional<Answer> sensorAnswer(SimSensor& s, const bus::DecodedRequest& req, Fault& fault);
    void countRequest();
    std::optional<Answer> setAddressBroadcast(const bus::DecodedRequest& req, Fault& fault,
                                              std::uint8_t& from);

    int m_type = 1;
    int m_turnaroundMs = 2;
    int m_lateMs = 1500;
    bool m_echo = false;
    bool m_noDevices = false;
    std::map<int, SimController> m_controllers;
    std::map<int, SimSensor> m_sensors;
    int m_requestsSeen = 0;
    int m_badRequests = 0;
    QList<QByteArray> m_writesSeen;
    std::shared_ptr<bus::RecordedAnswers> m_replay;
    std::function<void(const QByteArray&)> m_unheld;
    std::function<void(const QByteArray&)> m_writeHeard;
    std::optional<CutSpec> m_cut;
    bool m_lineCut = false;
};

} // namespace sim
