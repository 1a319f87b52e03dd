// Names of the settings sections and keys, and the defaults that do not depend on the job's
// type table. Keys keep their German names: stored settings and settings files use them.
#pragma once

namespace tw::settings {

// Sections of the per-user store.
inline constexpr char kSettings[] = "Settings";
inline constexpr char kProtokoll[] = "Protokoll";
inline constexpr char kPort[] = "Port";
inline constexpr char kVersion[] = "Version";

// Section "Settings": job parameters (also the keys of settings files).
inline constexpr char kTranspondertyp[] = "Transpondertyp";
inline constexpr char kWert[] = "Wert";
inline constexpr char kAutoIncrement[] = "AutoIncrement";
inline constexpr char kDatenImport[] = "DatenImport";
inline constexpr char kDatenFile[] = "DatenFile";
inline constexpr char kDatenLinesUsed[] = "DatenLinesUsed";
inline constexpr char kAutoNull[] = "AutoNull";
inline constexpr char kPrefixZulassen[] = "PrefixZulassen";
inline constexpr char kStartblock[] = "Startblock";
inline constexpr char kByteanzahl[] = "Byteanzahl";
inline constexpr char kZahlenformat[] = "Zahlenformat";
inline constexpr char kDarstellung[] = "Darstellung";
inline constexpr char kAusrichtung[] = "Ausrichtung";
inline constexpr char kModulationsart[] = "Modulationsart";
inline constexpr char kPasswort[] = "Passwort";
inline constexpr char kTagPasswort[] = "TagPasswort";
inline constexpr char kPasswortAktiv[] = "PasswortAktiv";
inline constexpr char kAuthKey[] = "AuthKey";
inline constexpr char kAuthAktiv[] = "AuthAktiv";
inline constexpr char kLockAktiv[] = "LockAktiv";
inline constexpr char kReadProtect[] = "ReadProtect";
inline constexpr char kReadAfterWriteAktiv[] = "ReadAfterWriteAktiv";
inline constexpr char kReadProtectFirst[] = "ReadProtectFirst";
inline constexpr char kReadProtectLast[] = "ReadProtectLast";
inline constexpr char kWriteProtectFirst[] = "WriteProtectFirst";
inline constexpr char kWriteProtectLast[] = "WriteProtectLast";
inline constexpr char kAutoreadFirst[] = "AutoreadFirst";
inline constexpr char kAutoreadLast[] = "AutoreadLast";
// Section "Settings", values owned by other parts of the program.
inline constexpr char kSprache[] = "Sprache";
inline constexpr char kZyklusZeit[] = "ZyklusZeit";
inline constexpr char kBeepTime[] = "BeepTime";
// Section "Settings", the shared job store of a line: a PostgreSQL connection string (no password:
// that comes from the password or service file) and the job this station works on.
inline constexpr char kJobStore[] = "JobStore";
inline constexpr char kJobName[] = "JobName";

// Section "Protokoll".
inline constexpr char kLogFileEnableSchreiben[] = "LogFileEnableSchreiben";
inline constexpr char kLogFileEnableLesen[] = "LogFileEnableLesen";
inline constexpr char kLogFileNameSchreiben[] = "LogFileNameSchreiben";
inline constexpr char kLogFileNameLesen[] = "LogFileNameLesen";
// File names of the default protocol files, placed in the documents folder.
inline constexpr char kDefaultWriteLogName[] = "Protokoll_S.txt";
inline constexpr char kDefaultReadLogName[] = "Protokoll_L.txt";

// Section "Port".
inline constexpr char kName[] = "Name";
inline constexpr char kBaudrate[] = "Baudrate";
inline constexpr char kTimeout[] = "Timeout";
inline constexpr char kAdresse[] = "Adresse";
inline constexpr char kEthernetAktiv[] = "EthernetAktiv";

// Section "Version".
inline constexpr char kUpdate[] = "Update";

// Defaults in the per-user store (registry defaults) and in settings files where they differ.
inline constexpr char kDefaultTypeName[] = "Hitag S";
inline constexpr char kDefaultPasswort[] = "5A3C9E17";
inline constexpr char kDefaultTagPasswort[] = "6B2D91";
inline constexpr int kStoreDefaultAutoIncrement = 1;
inline constexpr int kFileDefaultAutoIncrement = 0;
inline constexpr int kStoreDefaultStartblock = 0;
inline constexpr int kFileDefaultStartblock = 1;
inline constexpr int kDefaultByteanzahl = 4;
inline constexpr int kDefaultZahlenformat = 1;
inline constexpr int kDefaultBaudrate = 19200;
inline constexpr int kDefaultUpdate = 1;

}  // namespace tw::settings
