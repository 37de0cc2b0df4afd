#include "util/qnv/mp4/QNVMp4FileBasedReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plexora {

std::unique_ptr<QNVMp4FileBasedReader> QNVMp4FileBasedReader::initWithFilePath(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(descriptor);
    return nullptr;
  }
  return std::unique_ptr<QNVMp4FileBasedReader>(
      new QNVMp4FileBasedReader(descriptor, static_cast<uint64_t>(status.st_size)));
}

QNVMp4FileBasedReader::~QNVMp4FileBasedReader() { ::close(descriptor_); }

const uint8_t* QNVMp4FileBasedReader::bytesAtHead(int64_t count) {
  if (count < 0) return nullptr;
  const auto wanted = static_cast<uint64_t>(count);
  if (head_ > totalLength_ || wanted > totalLength_ - head_) return nullptr;
  if (buffer_.size() < wanted) {
    buffer_.resize(wanted);
    uint64_t done = 0;
    while (done < wanted) {
      const ssize_t got = ::pread(descriptor_, buffer_.data() + done, wanted - done, static_cast<off_t>(head_ + done));
      if (got <= 0) {
        buffer_.clear();
        return nullptr;
      }
      done += static_cast<uint64_t>(got);
    }
  }
  return buffer_.data();
}

void QNVMp4FileBasedReader::moveHead(uint64_t count) {
  head_ = count > UINT64_MAX - head_ ? UINT64_MAX : head_ + count;
  buffer_.clear();
}

}  // namespace plexora
