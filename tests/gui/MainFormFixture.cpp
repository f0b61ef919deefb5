#include "MainFormFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace vexalo {

ProgramFolder::ProgramFolder() : dir_(QDir::tempPath() + QStringLiteral("/vexalo-gui-XXXXXX")) {}

std::string ProgramFolder::Path() const {
  return QFile::encodeName(dir_.path()).toStdString() + "/";
}

QString ProgramFolder::QtPath(const char* name) const {
  return QFile::decodeName(QByteArray::fromStdString(FilePath(name)));
}

void ProgramFolder::Write(const char* name, const std::string& bytes) const {
  QFile file(QtPath(name));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", name);
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string ProgramFolder::Read(const char* name) const {
  QFile file(QtPath(name));
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

bool ProgramFolder::Exists(const char* name) const { return QFile::exists(QtPath(name)); }

std::unique_ptr<TMainForm> ProgramFolder::StartMainForm() const {
  auto form = std::make_unique<TMainForm>(Path());
  QSignalSpy loaded(form.get(), &TMainForm::StartUpLoaded);
  form->show();
  if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
  if (loaded.isEmpty() && !loaded.wait(10000)) return nullptr;
  return form;
}

std::string ClosedLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    qFatal("no free port on 127.0.0.1");
  }
  close(fd);
  return std::to_string(ntohs(address.sin_port));
}

}  // namespace vexalo
