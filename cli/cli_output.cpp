#include <algorithm>
#include "cli/cli_output.h"

#include <cstdio>

#include "job/job_engine.h"
#include "platform/cp1252.h"
#include "shell/string_table.h"

namespace tw::cli {

std::string JsonQuote(const std::string& utf8) {
  std::string s = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        s += "\\\"";
        break;
      case '\\':
        s += "\\\\";
        break;
      case '\n':
        s += "\\n";
        break;
      case '\r':
        s += "\\r";
        break;
      case '\t':
        s += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          s += buf;
        } else {
          s += static_cast<char>(c);
        }
    }
  }
  return s + "\"";
}

namespace {

// Status texts may hold CR LF (message-box texts); a terminal line gets a space instead.
std::string OneLine(const std::string& utf8) {
  std::string s;
  for (char c : utf8) {
    if (c == '\r') continue;
    s += c == '\n' ? ' ' : c;
  }
  return s;
}

void Emit(FILE* f, const std::string& line) {
  std::fputs(line.c_str(), f);
  std::fputc('\n', f);
  // Every line goes out at once: a controller reading a pipe sees each tag as it happens.
  std::fflush(f);
}

}  // namespace

void CliOutput::Tag(const char* op, long count, const std::string& value, const std::string& uid) {
  const std::string v = Cp1252ToUtf8(value);
  if (json_) {
    Emit(stdout, std::string("{\"event\":\"tag\",\"op\":\"") + op + "\",\"count\":" + std::to_string(count) +
                     ",\"value\":" + JsonQuote(v) + ",\"uid\":" + JsonQuote(uid) + ",\"result\":\"ok\"}");
    return;
  }
  const int id = std::string(op) == "write" ? 33000 : 33001;
  Emit(stdout, Cp1252ToUtf8(FormatString(id, static_cast<int>(count), value.c_str(), uid.c_str())));
}

void CliOutput::Status(int id, const std::string& text) {
  const std::string t = OneLine(Cp1252ToUtf8(text));
  if (json_)
    Emit(stdout, "{\"event\":\"status\",\"id\":" + std::to_string(id) + ",\"text\":" + JsonQuote(t) + "}");
  else
    Emit(stderr, t);
}

void CliOutput::End(const char* op, long count, int exitCode, const std::string& reason) {
  if (json_) {
    Emit(stdout, std::string("{\"event\":\"end\",\"op\":\"") + op + "\",\"count\":" + std::to_string(count) +
                     ",\"exit\":" + std::to_string(exitCode) + ",\"reason\":" + JsonQuote(reason) + "}");
    return;
  }
  const bool write = std::string(op) == "write";
  std::string line;
  if (exitCode == 130)
    line = FormatString(33004, static_cast<int>(count));
  else
    line = FormatString(write ? 33002 : 33003, static_cast<int>(count));
  Emit(stderr, Cp1252ToUtf8(line));
}

void CliOutput::Error(int exitCode, const std::string& text) {
  const std::string t = OneLine(Cp1252ToUtf8(text));
  // Errors always reach standard error, also with --json, so a log of stderr names the failure.
  Emit(stderr, "tagwright-cli: " + t);
  if (json_)
    Emit(stdout,
         "{\"event\":\"error\",\"exit\":" + std::to_string(exitCode) + ",\"text\":" + JsonQuote(t) + "}");
}

void CliOutput::Info(const std::string& text) {
  const std::string t = Cp1252ToUtf8(text);
  if (json_)
    Emit(stdout, "{\"event\":\"info\",\"text\":" + JsonQuote(OneLine(t)) + "}");
  else
    Emit(stdout, t);
}

void CliOutput::Object(const char* event, const std::vector<std::pair<std::string, std::string>>& fields) {
  if (json_) {
    std::string s = std::string("{\"event\":\"") + event + "\"";
    for (const auto& [k, v] : fields) s += "," + JsonQuote(k) + ":" + JsonQuote(Cp1252ToUtf8(v));
    Emit(stdout, s + "}");
    return;
  }
  for (const auto& [k, v] : fields) Emit(stdout, k + "=" + Cp1252ToUtf8(v));
}

void CliOutput::Table(const std::vector<std::string>& header,
                      const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::vector<std::string>> lines{header};
  for (const auto& r : rows) {
    std::vector<std::string> cells;
    for (const auto& c : r) cells.push_back(Cp1252ToUtf8(c));
    lines.push_back(std::move(cells));
  }
  // Width in characters, not bytes: UTF-8 continuation bytes take no column.
  auto width = [](const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
  };
  std::vector<size_t> widths(header.size(), 0);
  for (const auto& l : lines)
    for (size_t i = 0; i < l.size() && i < widths.size(); ++i) widths[i] = std::max(widths[i], width(l[i]));
  for (const auto& l : lines) {
    std::string text;
    for (size_t i = 0; i < l.size() && i < widths.size(); ++i) {
      text += l[i];
      if (i + 1 < l.size()) text += std::string(widths[i] - width(l[i]) + 2, ' ');
    }
    Emit(stdout, text);
  }
}

void CliView::AddStatusLine(const StatusMessage& msg) {
  ids.push_back(msg.id);
  if (msg.id == kMsgWriteDone) {
    written = true;
    if (!msg.args.empty())
      if (const auto* s = std::get_if<std::string>(&msg.args[0])) writtenValue = *s;
    return;  // the runner prints the tag line
  }
  out_.Status(msg.id, FormatStatusMessage(msg));
}

bool CliView::Reported(int id) const {
  for (int i : ids)
    if (i == id) return true;
  return false;
}

}  // namespace tw::cli
