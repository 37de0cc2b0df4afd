#include "platform/foundation/CryptoLibrary.h"

#include <openssl/crypto.h>

#include <mutex>

namespace plexora::platform {

void initialiseCryptoLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr); });
}

}  // namespace plexora::platform
