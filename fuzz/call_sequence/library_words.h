// Compares the model with the words the library keeps: for every slot
// 0..97 the slot state, source mode, media type, recording flag, play speed
// and record file name, for the remote slots their record's kind and
// playback handle, and the voice channel's flag.
#ifndef QXPLAYSDK_FUZZ_CALL_SEQUENCE_LIBRARY_WORDS_H
#define QXPLAYSDK_FUZZ_CALL_SEQUENCE_LIBRARY_WORDS_H

#include <string>

#include "fuzz/call_sequence/model.h"

namespace qxfuzz {

// An empty string when the library agrees with the model, else what differs.
std::string DifferencesFromLibrary(const Model& model);

}  // namespace qxfuzz

#endif  // QXPLAYSDK_FUZZ_CALL_SEQUENCE_LIBRARY_WORDS_H
