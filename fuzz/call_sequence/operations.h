// The operations a call sequence is made of: every export that works on the
// port table, the voice port or a remote slot, the four notifications the
// player library makes, and two that fill the local or remote pool. Each
// operation reads its arguments from a Step, predicts through the model,
// and then makes the real call with the same arguments.
#ifndef QXPLAYSDK_FUZZ_CALL_SEQUENCE_OPERATIONS_H
#define QXPLAYSDK_FUZZ_CALL_SEQUENCE_OPERATIONS_H

#include <cstdint>
#include <span>

#include "fuzz/call_sequence/expectation.h"
#include "fuzz/call_sequence/model.h"
#include "fuzz/call_sequence/step.h"

namespace qxfuzz {

struct Operation {
  const char* name;
  // True for a notification: its result is 1 when the player library held
  // a registration to deliver it through, else 0.
  bool notification;
  // Fills in the expectation, updates the model, returns the expected result.
  int32_t (*predict)(Model& model, const Step& step, Expectation& e);
  // Makes the call; out-pointers point into `outs`.
  int32_t (*run)(const Step& step, OutValues& outs);
  // Checks arguments the library handed to the backend that the model can
  // tell (converted values, kept handles); null when there are none. Returns
  // a description of the first wrong argument, or null.
  const char* (*check_arguments)(const Model& model, const Step& step, const Expectation& e);
};

std::span<const Operation> Operations();

}  // namespace qxfuzz

#endif  // QXPLAYSDK_FUZZ_CALL_SEQUENCE_OPERATIONS_H
