// The conversion feed: while a 3GP converter recording runs on a port, every
// block fed to the port also goes to the converter.
#ifndef QXPLAYSDK_RECORD_CONVERSION_FEED_H
#define QXPLAYSDK_RECORD_CONVERSION_FEED_H

#include <cstdint>

namespace qx {

// Hands the block to conv_input_data when the port's recording flag is 1 and
// its media type is 1 (both read now); the converter's answer is not
// examined. Called by Ovra_InputData after the 3GPP play library has had the
// block, whatever that library answered.
void FeedConversion(int32_t port, const void* data, uint32_t length);

}  // namespace qx

#endif  // QXPLAYSDK_RECORD_CONVERSION_FEED_H
