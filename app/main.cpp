// Program entry of the desktop application; everything else lives in tw_app.
#include <QApplication>

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  return 0;
}
