#include "record/conversion_feed.h"

#include "backends/gp3_converter.h"
#include "core/port_table.h"

namespace qx {

void FeedConversion(int32_t port, const void* data, uint32_t length) {
  if (GetRecordingFlag(port) == 1 && GetMediaType(port) == kMedia3gpp) {
    conv_input_data(port, data, length);
  }
}

}  // namespace qx
