// Build tool: turns the manual (Markdown) into the PDF that F1 opens.
//   tagwright-manual-pdf <manual.md> <manual.pdf>
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tagwright-manual-pdf <manual.md> <manual.pdf>\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QFile in(QString::fromLocal8Bit(argv[1]));
  if (!in.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "tagwright-manual-pdf: cannot read %s\n", argv[1]);
    return 1;
  }
  QTextDocument doc;
  doc.setMarkdown(QString::fromUtf8(in.readAll()));
  QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
  pdf.setTitle(QStringLiteral("Tagwright – Bedienungsanleitung"));
  pdf.setCreator(QStringLiteral("Tagwright"));
  doc.print(&pdf);
  return QFile::exists(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
