#include "link/SensorAddress.h"

#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

namespace bus {

bool SetSensorAddress(SerialLink& link, std::uint8_t newAddress) {
    const std::uint8_t payload[] = {newAddress};
    // Two sensors on the line may answer at once: only a frame that decodes
    // and names the new address confirms.
    if (AskSensor(link, kSetAddressBroadcast, sns::SetSensorAddress, Form::Write, payload) == 0)
        return false;
    return link.ParseReply() >= 0 && link.replyAddress() == newAddress;
}

} // namespace bus
