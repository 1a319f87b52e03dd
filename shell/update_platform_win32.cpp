// The update check on Windows: WinHTTP for https, the server's certificate verified by the system
// (the system's proxy settings), the installer in the temporary folder, started as a program, by
// the shell's "open", or as a process.
#include "platform/trace.h"
#include "platform/wide_text.h"
#include "shell/update_check.h"
#include "shell/update_platform.h"

#include "platform/windows_api.h"

#include <shellapi.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace tw {
namespace update {
namespace {

constexpr DWORD kChunkSize = 65536;

struct InternetHandle {
  HINTERNET h = nullptr;
  ~InternetHandle() {
    if (h) WinHttpCloseHandle(h);
  }
};

struct CertContext {
  PCCERT_CONTEXT c = nullptr;
  ~CertContext() {
    if (c) CertFreeCertificateContext(c);
  }
};

// The certificate in a PEM (or DER) file; null when there is none.
PCCERT_CONTEXT LoadCertificate(const std::string& file) {
  std::ifstream in(Utf8ToWide(file).c_str(), std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                            &size, nullptr, nullptr))
    return CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(pem.data()),
                                        static_cast<DWORD>(pem.size()));
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                            &size, nullptr, nullptr))
    return nullptr;
  return CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
}

// The server's certificate chains up to the one in caFile and names host: the check the system
// makes against its own roots, made against that one instead.
bool ServerTrustedBy(HINTERNET request, const std::string& caFile, const std::wstring& host) {
  CertContext server, ca;
  DWORD size = sizeof server.c;
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server.c, &size) || !server.c)
    return false;
  ca.c = LoadCertificate(caFile);
  if (!ca.c) return false;
  HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (!extra) return false;
  CertAddCertificateContextToStore(extra, ca.c, CERT_STORE_ADD_ALWAYS, nullptr);
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  bool ok = CertGetCertificateChain(nullptr, server.c, nullptr, extra, &para, 0, nullptr, &chain) && chain &&
            chain->cChain > 0 && chain->rgpChain[0]->cElement > 0;
  if (ok) {
    const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[0];
    const PCCERT_CONTEXT root = simple.rgpElement[simple.cElement - 1]->pCertContext;
    ok = CertCompareCertificate(X509_ASN_ENCODING, root->pCertInfo, ca.c->pCertInfo);
  }
  if (ok) {
    // The root is known to be the given one; everything else the system checks as for any server.
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    std::wstring name = host;
    ssl.pwszServerName = name.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    ok = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) && status.dwError == 0;
  }
  if (chain) CertFreeCertificateChain(chain);
  CertCloseStore(extra, 0);
  return ok;
}

bool Failed(const std::string& address, const char* what) {
  Trace("update: %s: %s: %s", address.c_str(), what, Win32ErrorText(GetLastError()).c_str());
  return false;
}

std::string WideToAnsi(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

}  // namespace

bool HttpsGet(const std::string& address, const std::string& agent, const std::string& caFile,
              const std::atomic<bool>* stop, const Sink& sink, long* status) {
  *status = 0;
  const std::wstring url = Utf8ToWide(address);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  // The list and the installer live on an https server; nothing else is ever fetched.
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS) {
    Trace("update: %s: not an https address", address.c_str());
    return false;
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                            std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  InternetHandle session, connection, request;
  session.h = WinHttpOpen(Utf8ToWide(agent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, 0);
  if (!session.h) return Failed(address, "session");
  // A server that stops answering must not hold the program forever.
  WinHttpSetTimeouts(session.h, 0, 30000, 30000, 60000);
  // Older systems offer only TLS 1.0 unless asked; servers today want 1.2 or later. A system that
  // knows neither keeps its default.
  for (DWORD protocols : {DWORD{WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3},
                          DWORD{WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2}})
    if (WinHttpSetOption(session.h, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) break;
  connection.h = WinHttpConnect(session.h, host.c_str(), parts.nPort, 0);
  if (!connection.h) return Failed(address, "connect");
  request.h = WinHttpOpenRequest(connection.h, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                 WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH);
  if (!request.h) return Failed(address, "request");
  // Redirects stay on https (WinHTTP never follows one from https to http by default).
  if (!caFile.empty()) {
    // Trust is checked below against the given certificate instead of the system's roots.
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    WinHttpSetOption(request.h, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
  }
  const wchar_t* headers = L"Cache-Control: no-cache\r\nPragma: no-cache";
  if (!WinHttpSendRequest(request.h, headers, static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.h, nullptr))
    return Failed(address, "no answer");
  if (!caFile.empty() && !ServerTrustedBy(request.h, caFile, host)) {
    Trace("update: %s: certificate not trusted", address.c_str());
    return false;
  }
  DWORD code = 0, length = 0, size = sizeof code;
  if (WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
    *status = static_cast<long>(code);
  size = sizeof length;
  const bool lengthKnown = WinHttpQueryHeaders(request.h, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                                               WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX);
  std::vector<char> buf(kChunkSize);
  uint64_t total = 0;
  for (;;) {
    if (stop != nullptr && stop->load()) return false;
    DWORD got = 0;
    if (!WinHttpReadData(request.h, buf.data(), kChunkSize, &got)) return Failed(address, "read");
    if (got == 0) break;
    total += got;
    if (!sink(buf.data(), got)) return false;
  }
  // A server that hangs up early can look like the end of the data: the announced length tells.
  if (lengthKnown && total != length) {
    Trace("update: %s: %llu of %lu bytes", address.c_str(), static_cast<unsigned long long>(total),
          static_cast<unsigned long>(length));
    return false;
  }
  return true;
}

struct InstallerFile {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::string path;
  std::string madeDir;  // the private folder made for it, removed with a discarded file
};

InstallerFile* CreateInstallerFile(const std::string& folder, const std::string& name) {
  auto file = std::make_unique<InstallerFile>();
  std::string dir = folder;
  if (dir.empty()) {
    wchar_t tmp[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH + 1, tmp) == 0) return nullptr;
    const std::string base = WideToUtf8(tmp);
    // A folder of our own; CreateDirectory fails on a name that is taken, so nobody else's is used.
    for (int attempt = 0; attempt < 100 && file->madeDir.empty(); ++attempt) {
      char suffix[32];
      const unsigned long tag = GetTickCount() ^ (static_cast<unsigned long>(attempt) * 2654435761u) ^ GetCurrentProcessId();
      std::snprintf(suffix, sizeof suffix, "tagwright-%08lx", tag);
      if (CreateDirectoryW(Utf8ToWide(base + suffix).c_str(), nullptr)) file->madeDir = base + suffix;
    }
    if (file->madeDir.empty()) return nullptr;
    dir = file->madeDir;
  }
  if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
  file->path = dir + name;
  file->handle = CreateFileW(Utf8ToWide(file->path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file->handle == INVALID_HANDLE_VALUE) {
    if (!file->madeDir.empty()) RemoveDirectoryW(Utf8ToWide(file->madeDir).c_str());
    return nullptr;
  }
  return file.release();
}

bool WriteInstallerFile(InstallerFile* file, const char* data, size_t n) {
  while (n > 0) {
    DWORD written = 0;
    const DWORD chunk = n > kChunkSize ? kChunkSize : static_cast<DWORD>(n);
    if (!WriteFile(file->handle, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    n -= written;
  }
  return true;
}

std::string CloseInstallerFile(InstallerFile* file, bool keep) {
  std::unique_ptr<InstallerFile> owned(file);
  const bool closed = CloseHandle(file->handle) != 0;
  if (keep && closed) return file->path;
  DeleteFileW(Utf8ToWide(file->path).c_str());
  if (!file->madeDir.empty()) RemoveDirectoryW(Utf8ToWide(file->madeDir).c_str());
  return {};
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool StartThreeWays(const std::string& path, const std::string&, int results[3]) {
  const std::wstring wide = Utf8ToWide(path);
  // 1: run it as a program, its window shown. WinExec takes an ANSI command line: quoted, in the
  // code page the path converts to.
  const std::string quoted = "\"" + WideToAnsi(wide) + "\"";
  results[0] = static_cast<int>(WinExec(quoted.c_str(), SW_SHOW));
  if (results[0] >= 32) return true;
  // 2: the shell's default verb.
  results[1] = static_cast<int>(reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL)));
  if (results[1] >= 32) return true;
  // 3: a process made from the file.
  std::wstring commandLine = L"\"" + wide + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessW(wide.c_str(), commandLine.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                     nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
  }
  results[2] = static_cast<int>(GetLastError());
  return false;
}

}  // namespace update

std::string ProgramBuildDate() {
  wchar_t exe[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  WIN32_FILE_ATTRIBUTE_DATA data{};
  FILETIME local{};
  SYSTEMTIME t{};
  if (!GetFileAttributesExW(exe, GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &t))
    return {};
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
  return buf;
}

}  // namespace tw
