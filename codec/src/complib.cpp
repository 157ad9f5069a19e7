// The two exported operations: 4096-byte pieces, the calling thread's window messages dispatched
// at every piece, a private copy of the container to decode, and an existing destination that
// changes only when the decode succeeded (the updater decodes downloads over installed files).
#include "complib.h"

#include "os.h"
#include "vx_operations.h"

namespace complib {
namespace {

class MessagePump : public PieceHook {
 public:
  bool onPiece(uint64_t) override {
    os::pumpMessages();
    return true;
  }
};

PassOptions libraryOptions(MessagePump& pump) {
  PassOptions options;
  options.bufferSize = CodecEngine::kLibraryBufferSize;
  options.hook = &pump;
  options.copySource = true;
  options.keepDestinationOnFailure = true;
  return options;
}

}  // namespace
}  // namespace complib

extern "C" {

int32_t COMPLIB_CALL Comp2VXFormatFile(const char* source, const char* destination, int32_t level) {
  complib::MessagePump pump;
  return complib::compressToVX(source, destination, level, complib::libraryOptions(pump)).status;
}

int32_t COMPLIB_CALL DecompVXFormat2NomFile(const char* source, const char* destination) {
  complib::MessagePump pump;
  return complib::expandFromVX(source, destination, complib::libraryOptions(pump)).status;
}

}  // extern "C"
