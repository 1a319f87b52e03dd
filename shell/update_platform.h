// What the update check takes from the system, one file per platform: the https transfer (libcurl
// on POSIX, WinHTTP on Windows), the installer's file, starting it, and the program file's date.
#pragma once
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

namespace tw::update {

// Takes one chunk of the body; false ends the transfer as failed.
using Sink = std::function<bool(const char* data, size_t n)>;

// One https GET of address: fresh from the server, the certificate verified by the system (or, when
// caFile is given, against that certificate alone), the system's proxy, agent as user agent, https
// only (redirects too). A set *stop ends it. True when the transfer completed; *status gets the
// HTTP status of the last response, 0 when none came.
bool HttpsGet(const std::string& address, const std::string& agent, const std::string& caFile,
              const std::atomic<bool>* stop, const Sink& sink, long* status);

// The installer's local file while it is downloaded.
struct InstallerFile;
// Creates (or empties) folder/name; with an empty folder in a new private folder in the temporary
// folder, so that a name planted there cannot redirect the write. nullptr on failure.
InstallerFile* CreateInstallerFile(const std::string& folder, const std::string& name);
bool WriteInstallerFile(InstallerFile* file, const char* data, size_t n);
// Closes the file. keep: it is made executable and its path returned (empty when that failed);
// otherwise, or on failure, it is removed with the private folder made for it.
std::string CloseInstallerFile(InstallerFile* file, bool keep);

bool FileExists(const std::string& path);
// Starts path the three ways in turn until one works: run as a program, opened by the desktop
// (openCommand on POSIX; the shell's "open" on Windows), a process made from the file. results
// gets each attempt's error (0 when it was not tried or worked).
bool StartThreeWays(const std::string& path, const std::string& openCommand, int results[3]);

}  // namespace tw::update
