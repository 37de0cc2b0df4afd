// A full disk for files written while it lives: the process's file size
// limit (RLIMIT_FSIZE) is lowered, so a write past it lands only up to the
// limit and the next one fails with EFBIG, as a write to a full disk lands in
// part and then fails with ENOSPC. SIGXFSZ, which would end the process, is
// ignored meanwhile. Files already larger are left alone unless written.
//
// Thread safety: process-wide, like the limit itself; one at a time.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <stdexcept>

namespace plexora::testing {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    if (::getrlimit(RLIMIT_FSIZE, &previous_) != 0) {
      throw std::runtime_error("cannot read the file size limit");
    }
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = previous_;
    lowered.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &lowered) != 0) {
      std::signal(SIGXFSZ, previousHandler_);
      throw std::runtime_error("cannot lower the file size limit");
    }
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = SIG_DFL;
};

}  // namespace plexora::testing
