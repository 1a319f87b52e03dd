/* Tagwright reader SDK: the flat C interface to QZ readers (libtagwright_sdk.so).
 *
 * Handles
 *   LF_OpenPort returns an integer handle > 0 for an open reader: serial and D2XX readers get the
 *   smallest free number from 1, HID readers from 10001, LAN readers from 20001. A closed handle may
 *   be handed out again by a later open; a handle that has not been closed is never reused, not
 *   even when its device vanished. Serial and HID readers are opened exclusively: a second open of
 *   one, in this or another process, fails at once with -1 (LF_GetOpenError says it is in use and,
 *   on Linux, by which process). 0 and negative values are never handles; a negative result of
 *   LF_OpenPort is an open error (-1 link not opened, -5 negative timeout, -15 no reader answered,
 *   -18 HID link control failed).
 *
 * Results and the last error
 *   Actions return 0 on success and -1 on failure; data functions return the number of bytes copied
 *   or -1. The reason for a -1 is the port's last error, read with LF_GetLastError; a successful call
 *   does not reset it. A handle that is not open gives -1 without touching any port (exceptions are
 *   noted). Codes: 7 timeout, 8 caller buffer smaller than the answer (nothing copied), 9 wrong data
 *   count, 10 type not accepted, 11 nothing to send, 12 block out of range, 13 option out of range,
 *   14 wrong check code in the answer, 16 empty answer, 18 operating mode not allowed, 20 read-back
 *   differs, 21 no valid transponder, 24 not supported for this type; other values are the reader's
 *   own status bytes, passed through.
 *
 * Threading
 *   Call every function from one thread. A call blocks until the reader answers; while it waits it
 *   runs the UI pump hook registered by the application (headless callers register none).
 *
 * Timeouts
 *   The timeout given to LF_OpenPort limits each of the three phases of an answer (first bytes,
 *   start of frame, whole frame), so one command may wait up to three times as long. Identification
 *   during open uses at most 300 ms per phase. After a command that timed out, the next one is sent
 *   only once the line has been quiet for twice the timeout, at least 1 s and at most 2 s: a late
 *   answer within that time is dropped, never returned for the next command.
 *
 * Buffers
 *   Every caller buffer comes with its size. Strings are NUL-terminated Windows-1252 text. List
 *   buffers receive NUL-terminated entries one after another, ended by one more NUL.
 */
#ifndef TAGWRIGHT_LF_SDK_H
#define TAGWRIGHT_LF_SDK_H

#ifdef __cplusplus
extern "C" {
#endif

/* On Windows the functions come from tagwright_sdk.dll (import library libtagwright_sdk.dll.a, or
 * GetProcAddress by the plain names below). They use the C calling convention, __cdecl, which on
 * 64-bit Windows is the one convention there is; a caller declares them without __stdcall. */
#if defined(_WIN32)
#define LF_API
#elif defined(__GNUC__)
#define LF_API __attribute__((visibility("default")))
#else
#define LF_API
#endif

/* Opens a reader and identifies it.
 * name: "COMn", a device path ("/dev/ttyUSB0", "/dev/pts/3"), or an FTDI serial number; may end in
 *   ":<address>" giving the reader's device address (default 1). Null or empty: -1.
 * baud: used for serial device names (COMn or a path); every other name runs at 19200.
 * flags: bits 0-3 character format (0: 8N1, 1: 8E1, 2: 8O1, 3: 8N2, others: 8N1); 40h: do not try
 *   the CRC-16 framing; 80h: keep the UI enabled while waiting (see LF_SetKeepUiEnabled).
 * timeoutMs: per-phase answer timeout; negative: -5.
 * Returns the handle, or -1 (link cannot be opened: device missing, in use, no permission, baud
 * rate refused by the device, ...), -5, -15 (no reader answered). LF_GetLastError of a failed open
 * is 6; LF_GetOpenError tells why. */
LF_API int LF_OpenPort(const char *name, int baud, int flags, int timeoutMs);

/* Closes the link and forgets the handle. 0, or -1 when the handle is not open. A port whose
 * device vanished keeps its handle (its calls fail with 7) until it is closed here, which then
 * returns 0; until then no other reader gets its number. */
LF_API int LF_ClosePort(int h);

/* Why the most recent LF_OpenPort of this process failed, as one line of Windows-1252 text for
 * the operator, e.g. "no such device: /dev/ttyUSB0", "in use by another program (pid 4711):
 * /dev/ttyUSB0", "permission denied ... (dialout)", "FTDI library libftd2xx.so not installed",
 * "not a device path: did you mean /dev/ttyUSB0?", "no reader answered on COM3". Empty after a
 * successful open and before any open.
 * buf: receives the text, cut to size - 1 bytes and always NUL-terminated; may be null only when
 *   size is 0 (to ask for the length).
 * size: size of buf in bytes, 0 or more.
 * Returns the length of the whole text without its NUL (larger than size - 1 when it was cut),
 * or -1 when size is negative or buf is null with a size above 0 (nothing is written then).
 * Opens are serialised, so the text belongs to the last open that finished. */
LF_API int LF_GetOpenError(char *buf, int size);

/* The port's last error; 6 when the handle is not open. */
LF_API int LF_GetLastError(int h);

/* Version command F0h. Copies the raw answer (normally 4 characters: three hex digits of the model
 * code and a revision character) into buf. If name is not null and nameSize is at least the model
 * name's length plus its NUL, the model name is copied into it; otherwise name is left untouched.
 * Returns the answer length, or -1 (8 when size is smaller than the answer; 7, 14, status). */
LF_API int LF_GetVersion(int h, unsigned char *buf, int size, char *name, int nameSize);

/* Command F8h: the reader's identity number (4 bytes, little-endian). Length or -1 (7, 8, 14). */
LF_API int LF_ReadReaderId(int h, unsigned char *buf, int size);

/* 1 when the identified model can write transponders, else 0; -1 when the handle is not open. */
LF_API int LF_CanWrite(int h);

/* 1 when the reader is attached by HID or D2XX, else 0; -1 when the handle is not open. */
LF_API int LF_IsUsbDevice(int h);

/* Any non-zero flag keeps the application window enabled while a command waits. 1, or -1. */
LF_API int LF_SetKeepUiEnabled(int h, int flag);

/* Command F4h with one byte. Accepted values 0, 1, 2, 3, 80h, 81h, 83h; any other sets 18 and
 * returns -1 without sending. 0 or -1 (7, 14, status). */
LF_API int LF_SetOperatingMode(int h, int value);

/* Command FFh with the mode byte: the USB mode the reader is to switch to, 1 HID or 2 virtual COM
 * (so a reader in virtual COM mode gets 1). 0 or -1 (7, 14, status). */
LF_API int LF_SetUsbMode(int h, int mode);

/* Command F6h with two bytes; the answer data are discarded. 0 or -1 (7, 14, status). */
LF_API int LF_SystemCommandF6(int h, int b1, int b2);

/* ---- Transponders ---------------------------------------------------------------------------
 * type: the transponder type code: 2 Hitag 2, 3 ATA5555 (Q5), 4 Hitag S, 5 Hitag 1, 6 EM4450,
 *   8 EM4305, 9 ATA5577, 10 Hitag µ, 12 SIC7888 (further codes up to 39 for other families).
 * Blocks are the transponder's own block/page/word numbers; a block outside the type's range is
 * error 12 before anything is sent. Block data are 4 bytes per block, byte 0 first.
 * Readers of the unified command set and legacy readers are driven alike; on the oldest readers
 * (capability word 0) the answers of Hitag 2, ATA5555 and EM4450 are put back into order here.
 * Every call may also fail with 7 (no answer), 14 (check code) or a reader status (e.g. no tag in
 * the field, or a tag that refused the command). */

/* Reads the tag's UID into buf. Length or -1 (8 buffer too small; 10 type above 255; 24 type not
 * supported by a legacy reader; for ATA5555 on older readers also a failure without a code of its
 * own when the identity frame does not decode). */
LF_API int LF_ReadUid(int h, int type, unsigned char *buf, int size);

/* Authenticates with the given bytes (Hitag 2: the 4-byte password; Hitag S, Hitag 1: the UID just
 * read; Hitag µ: the UID, only remembered for the next LF_PasswordLogin, nothing is sent).
 * params may be null when count is 0. buf may be null: the answer is then not copied and the result
 * is 0. Length or -1 (8; 10 type above 255; 24 not supported for the type on a legacy reader). */
LF_API int LF_Authenticate(int h, int type, const unsigned char *params, int count,
                           unsigned char *buf, int size);

/* Authenticates with a 6-byte key (missing bytes are sent as 00h, extra bytes are ignored).
 * type: 2, 4 or 14, else 10. Length of the answer in buf, or -1 (8, 10). */
LF_API int LF_KeyAuthenticate(int h, int type, const unsigned char *key, int count,
                              unsigned char *buf, int size);

/* Reads the UID of an ATA5555/ATA5577 in password mode; 4 password bytes are sent (zero-padded,
 * extra bytes ignored). type: 3 or 9, else 10. Length or -1 (8, 10). */
LF_API int LF_ReadUidWithPassword(int h, int type, const unsigned char *password, int count,
                                  unsigned char *buf, int size);

/* Logs in with a password (4 bytes). For ATA5555/ATA5577 (types 3, 9) the password is remembered
 * and sent with every later block read and write of the port, after a test that the tag needs it;
 * LF_ResetTransponder, an ATA5555 UID read and the next login for these types forget it.
 * Hitag µ uses the UID given to LF_Authenticate. SIC7888: 12 logs in with the write password,
 * 12 + 100h with the read password.
 * Returns 0 on success. On failure -1 when the port's last error is non-zero (9; 21 the tag's
 * blocks read inconsistently; 24 type not supported), else 1: the tag turned out not to need the
 * password (also when the password is not 4 bytes for types 3, 9). */
LF_API int LF_PasswordLogin(int h, int type, const unsigned char *password, int count);

/* Changes the EM4450 password; both passwords must be 4 bytes (else 9). type is not used.
 * 0 or -1. */
LF_API int LF_ChangePassword(int h, int type, const unsigned char *oldPassword, int oldCount,
                             const unsigned char *newPassword, int newCount);

/* Reads count bytes from firstBlock into buf (count is also the size of buf).
 * type: low byte 1-39 (else 10); option 400h inverts every byte (not while an ATA5555/ATA5577
 * password is remembered). Legacy readers read whole blocks: a count that is not a multiple of 4
 * reads more than count bytes and ends in 8. Length or -1 (8; 9 negative count, or more blocks than
 * one command can carry; 10; 12; 16 the reader answered a block without data). */
LF_API int LF_ReadBlocks(int h, int type, int firstBlock, unsigned char *buf, int count);

/* Writes count bytes from firstBlock, 4 bytes per block, the last block padded with 00h; lock 1
 * locks the blocks where the type can (ATA5555/ATA5577 lock bit). A failing block ends the write;
 * the blocks before it stay written.
 * type: low byte 1-39 (else 10); option 100h reads the blocks back and compares them; for type 3
 * option 200h reads them back inverted and compares. EM4305 blocks 14/15 take exactly 4 bytes
 * (protection word). 0 or -1 (9 no data or wrong length; 10; 12; 13 lock above 1 while a password
 * is remembered; 20 the read-back failed or differs). */
LF_API int LF_WriteBlocks(int h, int type, int firstBlock, const unsigned char *data, int count,
                          int lock);

/* Resets the tag: ATA5555/ATA5577 and EM4450 by their reset command, every other type by switching
 * the field off and on (100 ms each; succeeds whatever the reader answers). Forgets a remembered
 * password. 0 or -1. */
LF_API int LF_ResetTransponder(int h, int type);

/* Locks one Hitag µ block for ever. type: only 10 (else 24). 0 or -1 (12). */
LF_API int LF_LockBlock(int h, int type, int block);

/* The reader's modulation: queried on a unified reader, the last value set otherwise. -1 when not
 * yet known or the query failed; 0 when the handle is not open. */
LF_API int LF_GetModulation(int h);

/* Sets the reader's modulation. Nothing is sent when the reader cannot switch to the value or is
 * already set to it. 0 or -1 (13 value outside 0-255). */
LF_API int LF_SetModulation(int h, int modulation);

/* Finds the modulation at which the tag's block 0 reads (and, for ATA5555/ATA5577, is configured
 * for it), trying the reader's candidates from the given start (0-6 or 128-134). Returns it, or -1
 * (also for a start value outside those ranges: last error 13). Types that cannot switch return
 * the start. Each candidate is tried once at most; when none fits, the last error is the last
 * read's own error, or 21 when the tag answered but at no modulation its configuration names. */
LF_API int LF_DetectModulation(int h, int type, int modulation);

/* --- Finding readers -------------------------------------------------------------------------
 * The list functions fill a list buffer: NUL-terminated entries one after another, ended by one
 * more NUL. An entry that does not fit together with the final NUL ends the copying; a buffer of
 * size 1 receives only the final NUL. They return the bytes used including the final NUL (1 for
 * an empty list; 0 when list is null or size is below 1). */

/* Lists the serial devices that have hardware behind them, in natural order of the device path
 * ("/dev/ttyUSB2" before "/dev/ttyUSB10"). A device with a stable udev name is listed by it, with
 * its kernel name first in the description: "/dev/serial/by-id/usb-…-if00 [/dev/ttyACM0, …]".
 * A maker's USB reader is described by its product text, or by "Velkor Virtual COM" when only its
 * USB identity marks it ("/dev/ttyACM0 [Velkor Virtual COM]"). Pseudo-
 * terminals are not serial devices and are not listed, except those of running simulators,
 * appended as "/dev/pts/N [tagwright-sim]". When sysfs cannot be read, the usual device names
 * (ttyS0-31, ttyUSB0-255, ttyACM0-255) that open as terminals are listed instead. */
LF_API int LF_EnumSerialPorts(char *list, int size);

/* Lists the USB readers: serial numbers of FTDI devices not open in this process, then HID
 * reader names ("<serial> HID", or "<serial> HID (no access) /dev/hidrawN: <reason>" for a reader
 * whose node this user may not open); only entries that begin with a reader product number (four
 * digits) are kept. Without the D2XX library the FTDI part is empty. */
LF_API int LF_EnumUsbPorts(char *list, int size);

/* Readers attached that nothing installed can drive: bit 0 (1) an FTDI-based reader (0403/E130)
 * with no kernel driver bound and no libftd2xx, bit 1 (2) a virtual COM reader (1C40/05AC) with no
 * driver bound; 0 when nothing is missing or the USB devices cannot be read. */
LF_API int LF_GetMissingUsbDrivers(void);

/* 1: the virtual COM driver is present (the kernel's CDC-ACM driver serves these readers). */
LF_API int LF_IsVirtualComDriverInstalled(void);

/* --- Ethernet readers ----------------------------------------------------------------------
 * LAN names: "a.b.c.d" (data port 10001), "a.b.c.d-port", or "[name]" / "[name]-port" for a device
 * that takes its address by DHCP and is found by broadcast. LF_OpenPort accepts them as well. */

/* Broadcasts on every local adapter and lists every device that answers within 500 ms of quiet
 * (the whole search ends after 8 s at most, also under a flood of answers):
 * "a.b.c.d-port" for a device with a static address, "[name]a.b.c.d-port" for a DHCP device. The
 * entries, ascending and without duplicates, go into the list buffer. Returns the bytes used
 * including the final NUL (0 when sockets cannot be used). */
LF_API int LF_SearchLanDevices(char *list, int size);

/* As LF_SearchLanDevices, keeping only readers (product name starting with "QZ-"); a DHCP reader
 * is listed as "[name]". */
LF_API int LF_SearchLanReaders(char *list, int size);

/* 1 when the device answers a configuration request, else 0. A trailing ":address" is ignored. */
LF_API int LF_PingLanDevice(const char *name);

/* The device's network settings as text; each output is a buffer of at least 32 bytes, or null.
 * outAddress: "a.b.c.d-port", or empty for a DHCP device (then it receives the name when outName
 * is null); outName: "[name]-port"; outNetMask and outGateway: "a.b.c.d". 0, or -1 (no answer,
 * short record), or a negative open result. */
LF_API int LF_GetLanDeviceInfo(const char *name, char *outName, char *outAddress, char *outNetMask,
                               char *outGateway);

/* Changes a device's address ("a.b.c.d[-port]", or "[name][-port]" for DHCP under that name), net
 * mask and gateway ("a.b.c.d"), waits for the device at its new address and restarts it. An empty
 * text (or null) leaves that setting as it is. Returns 0, -1, a negative open result when the
 * device does not come back, or -9 when a text is not an address (a number above 255, fewer or
 * more than four numbers, other characters): nothing is sent then. */
LF_API int LF_SetLanDeviceConfig(const char *name, const char *newAddress, const char *netMask,
                                 const char *gateway);

#ifdef __cplusplus
}
#endif

#endif /* TAGWRIGHT_LF_SDK_H */
