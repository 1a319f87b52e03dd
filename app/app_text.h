// Texts of the current language as Qt strings: the string table hands out Windows-1252 bytes, Qt
// widgets want Unicode. Also the reverse for what the operator types.
#pragma once
#include <QString>
#include <string>

namespace tw {

QString Tr(int id);                       // string-table text of id
QString FromCp1252(const std::string& s);  // Windows-1252 bytes to a Qt string
std::string ToCp1252(const QString& s);    // characters outside Windows-1252 become '?'
// A path shortened in the middle with "..." so that it fits maxChars characters.
QString ShortenPathMiddle(const QString& path, int maxChars);
// A file dialog filter in the "Text (*.a)|*.a|All (*.*)|*.*||" form, in the Qt form.
QString QtFilterFromPipes(const std::string& filter);

}  // namespace tw
