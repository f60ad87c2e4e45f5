#include "link/SensorAddress.h"

#include "link/Command.h"
#include "link/SerialLink.h"

namespace bus {

bool SetSensorAddress(SerialLink& link, std::uint8_t newAddress) {
    const std::uint8_t payload[] = {newAddress};
    link.SendRequest(kSetAddressBroadcast, sns::SetSensorAddress, payload);
    // Two sensors on the line may answer at once: only a frame that decodes
    // and names the new address confirms.
    if (link.ReceiveRaw(kSetAddressWaitMs) == 0)
        return false;
    return link.ParseReply() >= 0 && link.replyAddress() == newAddress;
}

} // namespace bus
