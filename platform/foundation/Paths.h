// Where the library keeps its files: the caches directory, the user
// defaults file and short-lived temporary files.
//
// Defaults follow the XDG base directories: the caches directory is
// "$XDG_CACHE_HOME/<application name>" (else "~/.cache/<application name>"),
// the user defaults file "$XDG_CONFIG_HOME/<application name>/UserDefaults.plist"
// (else under "~/.config"). The application name defaults to the program's
// name. Every location can be replaced for the whole process, which the host
// may do at start and each test does to work in its own directory.
//
// Thread safety: every function may be called from any thread. Nothing here
// creates directories.
#pragma once

#include <string>

namespace plexora::platform {

// The application's own caches directory (the library adds its folder below).
std::string cachesDirectory();
// The file that standardUserDefaults() reads and writes.
std::string userDefaultsPath();
// The name of the application's subfolder in the default locations.
std::string applicationName();
// Where short-lived files go: $TMPDIR, else /tmp.
std::string temporaryDirectory();

// An empty argument restores the default.
void setCachesDirectory(std::string path);
void setUserDefaultsPath(std::string path);
void setApplicationName(std::string name);
void setTemporaryDirectory(std::string path);

}  // namespace plexora::platform
