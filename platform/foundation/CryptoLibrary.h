// The process's one initialisation of the crypto library (OpenSSL), shared
// by UUIDs, SHA-1 and the HTTP client's TLS.
//
// The library's own worker threads may still make UUIDs, digests or TLS
// connections while a host returns from main(). The crypto library's default
// exit handler frees its global state then, under those threads' feet, so
// it is initialised without that handler: its state lives until the process
// is gone, which the kernel reclaims anyway.
//
// Thread safety: may be called from any thread, any number of times; only
// the first call does anything. Call it before the first use of the crypto
// library (or of libcurl, which initialises it).
#pragma once

namespace plexora::platform {

void initialiseCryptoLibrary();

}  // namespace plexora::platform
