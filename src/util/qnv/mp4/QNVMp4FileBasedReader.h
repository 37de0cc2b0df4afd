// A streaming reader over a local file: the whole file has arrived, so a
// request that the file cannot satisfy means it ends first.
//
// Thread safety: one thread at a time. Ownership: the reader owns its file
// descriptor and closes it when destroyed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "util/qnv/mp4/QNVMp4StreamingReader.h"

namespace plexora {

class QNVMp4FileBasedReader final : public QNVMp4StreamingReader {
 public:
  // None when the file cannot be opened for reading.
  [[nodiscard]] static std::unique_ptr<QNVMp4FileBasedReader> initWithFilePath(const std::string& path);
  ~QNVMp4FileBasedReader() override;
  QNVMp4FileBasedReader(const QNVMp4FileBasedReader&) = delete;
  QNVMp4FileBasedReader& operator=(const QNVMp4FileBasedReader&) = delete;

  // Null when the file holds fewer than `count` bytes after the head; such a
  // request allocates nothing, whatever the count.
  [[nodiscard]] const uint8_t* bytesAtHead(int64_t count) override;
  void moveHead(uint64_t count) override;

  uint64_t totalLength() const { return totalLength_; }
  // Bytes consumed so far: the stream offset of the head.
  uint64_t head() const { return head_; }

 private:
  QNVMp4FileBasedReader(int descriptor, uint64_t totalLength) : descriptor_(descriptor), totalLength_(totalLength) {}

  int descriptor_;
  uint64_t totalLength_;
  uint64_t head_ = 0;
  // Bytes read at the head, kept until the head moves.
  std::vector<uint8_t> buffer_;
};

}  // namespace plexora
