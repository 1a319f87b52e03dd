#include "job/job_view.h"

#include <cstdio>
#include <string_view>

#include "shell/string_table.h"

namespace tw {
namespace {

// Formats one conversion spec (e.g. "%02d", "%s") with one argument of either kind.
void AppendConversion(std::string& out, const std::string& spec, char conv, const StatusArg* arg) {
  char buf[128];
  if (conv == 's') {
    std::string text;
    if (arg) {
      if (const auto* s = std::get_if<std::string>(arg))
        text = *s;
      else
        text = std::to_string(std::get<int64_t>(*arg));
    }
    const std::string fmt = spec.substr(0, spec.size() - 1) + "s";
    const int n = std::snprintf(nullptr, 0, fmt.c_str(), text.c_str());
    if (n > 0) {
      std::string piece(static_cast<size_t>(n) + 1, '\0');
      std::snprintf(piece.data(), piece.size(), fmt.c_str(), text.c_str());
      piece.resize(static_cast<size_t>(n));
      out += piece;
    }
    return;
  }
  long long value = 0;
  if (arg)
    if (const auto* v = std::get_if<int64_t>(arg)) value = *v;
  // Length modifiers of the table are dropped; every integer goes out as long long.
  std::string flags = spec.substr(0, spec.size() - 1);
  if (const size_t i64 = flags.find('I'); i64 != std::string::npos) flags.erase(i64);
  while (!flags.empty() && (flags.back() == 'l' || flags.back() == 'h')) flags.pop_back();
  // Whatever stray modifier is left would make the format invalid: keep flags and digits only.
  std::erase_if(flags, [](char c) { return c == 'l' || c == 'h'; });
  const std::string fmt = flags + "ll" + conv;
  std::snprintf(buf, sizeof buf, fmt.c_str(), value);
  out += buf;
}

}  // namespace

std::string FormatStatusMessage(const StatusMessage& msg) {
  const std::string& fmt = LoadString(msg.id);
  std::string out;
  size_t argIndex = 0;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') {
      out.push_back(fmt[i]);
      continue;
    }
    if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    // Flags, width and precision as digits only (at most 3 in a row, so no text can ask for a huge
    // field); a '*', a longer width or an unknown conversion is copied as text.
    size_t j = i + 1;
    size_t digitRun = 0;
    while (j < fmt.size() && std::string_view("-+ #0123456789.lhI").find(fmt[j]) != std::string_view::npos &&
           j - i < 12) {
      digitRun = (fmt[j] >= '0' && fmt[j] <= '9') ? digitRun + 1 : 0;
      if (digitRun > 3) break;
      ++j;
    }
    if (j >= fmt.size() || digitRun > 3 ||
        std::string_view("sdiuxXc").find(fmt[j]) == std::string_view::npos) {
      out.append(fmt, i, j - i);
      i = j - 1;
      continue;
    }
    const char conv = fmt[j] == 'c' ? 'd' : fmt[j];
    const StatusArg* arg = argIndex < msg.args.size() ? &msg.args[argIndex] : nullptr;
    ++argIndex;
    if (fmt[j] == 'c') {
      long long v = 0;
      if (arg)
        if (const auto* p = std::get_if<int64_t>(arg)) v = *p;
      out.push_back(static_cast<char>(v));
    } else {
      AppendConversion(out, fmt.substr(i, j - i + 1), conv, arg);
    }
    i = j;
  }
  return out;
}

bool StatusReporter::AddStatusMessage(int id) {
  if (inTimer) {
    if (id == lastStatusId) return false;
    lastStatusId = id;
  }
  view_.AddStatusLine(StatusMessage{id, {}});
  return true;
}

}  // namespace tw
