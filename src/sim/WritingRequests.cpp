#include "sim/WritingRequests.h"

namespace sim {
namespace {

bool controllerWrite(std::uint8_t command, qsizetype payload) {
    switch (command) {
    case 0x03: // poll interval
    case 0x08: // passwords
    case 0x09: // host channels
    case 0x0A: // address range
    case 0x57: // relay outputs
    case 0xAE: // emergency update flag
        return payload > 0;
    case 0x0B: // option byte: read with the byte's number
    case 0x54: // alarm thresholds: read with the sensor's number
    case 0x55: // alarm enables
        return payload > 1;
    case 0x50: // program block and its end
    case 0x52: // table blocks
    case 0x5A: // boot loader
    case 0x70: // allocation table
    case 0x71:
    case 0xA0: // service mode
        return true;
    default:
        return false;
    }
}

bool sensorWrite(std::uint8_t command, qsizetype payload) {
    switch (command) {
    case 0x17: // segments
    case 0x19: // code update
    case 0x1F: // filling criterion
    case 0x4F: // flag byte
        return payload > 0;
    case 0x18: // clear codes
    case 0x30: // compute air codes
    case 0x31: // compute fuel codes
    case 0x36: // section correction
    case 0x38: // forecast codes
    case 0x40: // density parameters, meter address
    case 0x50: // program block and its end
    case 0x56: // alarm switched off
    case 0x5A: // boot loader
    case 0x83: // memory cell
    case 0x8F: // address
        return true;
    default:
        return false;
    }
}

} // namespace

bool changesDevice(const bus::DecodedRequest& request) {
    const bool controller = request.address >= 0x80 && request.address != 0xF0;
    return controller ? controllerWrite(request.command, request.payload.size())
                      : sensorWrite(request.command, request.payload.size());
}

} // namespace sim
