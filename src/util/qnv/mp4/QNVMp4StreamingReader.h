// The byte source of the MP4 parser: a head that moves forward through a
// stream whose bytes may still be arriving.
//
// Thread safety: as the implementation says; the parser calls it from one
// thread at a time.
#pragma once

#include <cstdint>

namespace plexora {

class QNVMp4StreamingReader {
 public:
  virtual ~QNVMp4StreamingReader() = default;

  // A pointer to `count` contiguous bytes at the head, without consuming
  // them, or null while fewer are available (and for a negative count). The
  // bytes stay valid until the next call on the reader.
  [[nodiscard]] virtual const uint8_t* bytesAtHead(int64_t count) = 0;
  // Consumes `count` bytes; they need not have arrived yet.
  virtual void moveHead(uint64_t count) = 0;
};

}  // namespace plexora
