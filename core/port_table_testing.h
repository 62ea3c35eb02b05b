// For the tests and the fuzz targets only; no export calls it, and nothing
// of the library includes this header.
#ifndef QXPLAYSDK_CORE_PORT_TABLE_TESTING_H
#define QXPLAYSDK_CORE_PORT_TABLE_TESTING_H

namespace qx {

// Puts the port table and the values beside it back as they are right after
// loading and attach: every slot free with its default words, every record
// zero, no callbacks, the voice channel closed. The locks stay as they are;
// no export and no backend notification may be running.
void ResetPortTableForTesting();

}  // namespace qx

#endif  // QXPLAYSDK_CORE_PORT_TABLE_TESTING_H
