#include "app/app_text.h"

#include <QStringList>

#include "platform/cp1252.h"
#include "shell/string_table.h"

namespace tw {

QString FromCp1252(const std::string& s) { return QString::fromStdString(Cp1252ToUtf8(s)); }

std::string ToCp1252(const QString& s) { return Utf8ToCp1252(s.toStdString()); }

QString Tr(int id) { return FromCp1252(LoadString(id)); }

QString ShortenPathMiddle(const QString& path, int maxChars) {
  if (maxChars < 5 || path.size() <= maxChars) return path;
  const int keep = maxChars - 3;
  const int head = keep / 2;
  return path.left(head) + "..." + path.right(keep - head);
}

QString QtFilterFromPipes(const std::string& filter) {
  // Pairs of description and pattern; the description already names the pattern in brackets.
  const QStringList parts = FromCp1252(filter).split('|', Qt::SkipEmptyParts);
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString desc = parts[i].trimmed();
    QString pat = parts[i + 1].trimmed();
    pat.replace(';', ' ');
    const int bracket = desc.indexOf('(');
    if (bracket > 0) desc = desc.left(bracket).trimmed();
    out << QStringLiteral("%1 (%2)").arg(desc, pat);
  }
  return out.join(QStringLiteral(";;"));
}

}  // namespace tw
