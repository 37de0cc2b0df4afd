// The process's one initialisation of the crypto library (OpenSSL), shared
// by SHA-1 and the HTTP client's TLS.
//
// The library's own worker threads may still make digests or TLS
// connections while a host returns from main(). The crypto library's default
// exit handler frees its global state then, under those threads' feet, so
// it is initialised without that handler: its state lives until the process
// is gone, which the kernel reclaims anyway. This only holds when ours is
// the process's first use of the crypto library; a host (or a library it
// links) that initialised it earlier keeps its exit handler.
//
// Thread safety: may be called from any thread, any number of times; only
// the first call does anything. Call it before the first use of the crypto
// library (or of libcurl, which initialises it).
#pragma once

namespace plexora::platform {

void initialiseCryptoLibrary();

}  // namespace plexora::platform
