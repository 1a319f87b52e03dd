// The job fields in the per-user settings store and in settings files: loading when the main window
// is made, saving when it goes away, and the export and import of "Konfiguration schreiben/lesen"
// (the file dialogs belong to the front ends; these take the chosen path).
#pragma once
#include <string>

#include "job/job_params.h"
#include "shell/settings_store.h"

namespace tw {

class IJobView;

// Fills the job and protocol fields from the store: protocol files, logging, AutoIncrement,
// DatenImport (DatenFile and DatenLinesUsed only when it is set), the type by name, the rest with
// the store's defaults. cycleTime and beepTime are not touched (LoadTimingSettings).
void LoadSettings(JobParams& job, ISettingsView& store);

// Writes the job and protocol fields to the store in one transaction. True when stored.
bool SaveSettings(const JobParams& job, ISettingsStore& store);
// Writes only the fields in which job differs from loaded (what was read at the start), leaving
// the progress fields (Wert, DatenImport, DatenFile, DatenLinesUsed) to the job's reservation
// store: a program never writes back what another one changed meanwhile. True when stored.
bool SaveChangedSettings(const JobParams& job, const JobParams& loaded, ISettingsStore& store);
// The window-destruction save: loads the controls first and saves even when that load fails.
bool SaveSettings(JobParams& job, IJobView& view, ISettingsStore& store);

// Writes the job fields to section "Settings" of the settings file at path, keeping everything
// else in it; the file is rewritten only when a value was added or changed. False when the file
// could not be written (nothing is reported).
bool ExportSettingsFile(const JobParams& job, const std::string& path);
// "Konfiguration schreiben": loads the controls first and stops when that load fails.
bool ExportSettingsFile(JobParams& job, IJobView& view, const std::string& path);

// Reads the job fields from section "Settings" of the settings file at path with the settings-file
// defaults (AutoIncrement 0, Startblock 1). Protocol settings, importLinesUsed and timings stay as
// they are. A file that cannot be read, is no text (binary, UTF-16), is larger than
// kMaxSettingsFileBytes or has no "Settings" section changes nothing: false, with why saying which.
bool ImportSettingsFile(JobParams& job, const std::string& path, std::string* why = nullptr);
// "Konfiguration lesen": imports, then shows the fields and applies the type layout.
bool ImportSettingsFile(JobParams& job, IJobView& view, const std::string& path, std::string* why = nullptr);

inline constexpr long kMaxSettingsFileBytes = 1L << 20;

}  // namespace tw
