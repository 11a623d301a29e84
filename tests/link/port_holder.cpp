// Holds a serial port open from another process until it is killed, so a
// test can try to open a port that is in use.
#include <QCoreApplication>
#include <QSerialPort>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2) return 2;
  QSerialPort port(QString::fromLocal8Bit(argv[1]));
  if (!port.open(QIODevice::ReadWrite)) return 1;
  std::puts("held");
  std::fflush(stdout);
  return app.exec();
}
