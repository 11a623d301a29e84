// A PostgreSQL server of a test's own: a cluster made by initdb in a fresh
// temporary folder, listening only on a Unix socket in that folder (no TCP
// port), run as an unprivileged user when the test runs as root (the server
// refuses root), and stopped by its process id. Nothing else is ever
// connected to.
#ifndef TAKT_TESTS_HARNESS_PG_SERVER_H_
#define TAKT_TESTS_HARNESS_PG_SERVER_H_

#include <fcntl.h>
#include <glob.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace taktm::testing {

class PgServer {
 public:
  // The folder of initdb, pg_ctl and postgres, or empty when the database
  // layer (scripts/bootstrap db) is not installed.
  static std::string BinDir() {
    glob_t found{};
    std::string dir;
    if (::glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &found) == 0 &&
        found.gl_pathc > 0) {
      dir = found.gl_pathv[found.gl_pathc - 1];  // the newest version
      dir.resize(dir.size() - std::string("/initdb").size());
    }
    ::globfree(&found);
    return dir;
  }

  // Makes the cluster; `error()` says why when it could not. Tests run
  // without flushing to the disk; a benchmark (`durable`) with it, as a
  // factory's server would.
  explicit PgServer(bool durable = false) : bin_(BinDir()) {
    if (bin_.empty()) {
      error_ = "no PostgreSQL server (scripts/bootstrap db)";
      return;
    }
    char dir[] = "/tmp/takt-pg-XXXXXX";
    if (::mkdtemp(dir) == nullptr) {
      error_ = "mkdtemp failed";
      return;
    }
    dir_ = dir;
    if (::geteuid() == 0) {
      const passwd* nobody = ::getpwnam("nobody");
      if (nobody == nullptr) {
        error_ =
            "running as root and there is no user nobody to run the "
            "server as";
        return;
      }
      uid_ = nobody->pw_uid;
      gid_ = nobody->pw_gid;
      if (::chown(dir, uid_, gid_) != 0) {
        error_ = "chown of the server's folder failed";
        return;
      }
    }
    if (Run({bin_ + "/initdb", "-D", data(), "-U", "takt", "-A", "trust",
             "--locale=C", "-E", "UTF8", "--no-sync", "--no-instructions"},
            dir_ + "/initdb.log") != 0) {
      error_ = "initdb failed: " + Read(dir_ + "/initdb.log");
      return;
    }
    // The test's processes connect many at a time.
    std::ofstream(data() + "/postgresql.conf", std::ios::app)
        << "max_connections = 60\n"
        << (durable ? "" : "fsync = off\n");
    if (!Start()) error_ = "the server did not start: " + Read(dir_ + "/log");
  }
  ~PgServer() {
    Stop();
    if (!dir_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(dir_, ignored);
    }
  }
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  const std::string& error() const { return error_; }
  bool running() const { return pid_ > 0; }
  const std::string& dir() const { return dir_; }

  // The URI of the server's database through its socket folder.
  std::string Uri() const {
    return "postgresql:///postgres?host=" + dir_ + "&user=takt";
  }

  // Starts the server (again) and waits until it accepts connections.
  bool Start() {
    if (pid_ > 0) return true;
    if (Run({bin_ + "/pg_ctl", "start", "-w", "-t", "60", "-D", data(), "-l",
             dir_ + "/log", "-o",
             "-k " + dir_ +
                 " -c listen_addresses='' -c unix_socket_permissions=0777"},
            dir_ + "/pg_ctl.log") != 0) {
      return false;
    }
    // The postmaster's process id is the first line of its pid file.
    std::ifstream pid_file(data() + "/postmaster.pid");
    long pid = 0;
    pid_file >> pid;
    pid_ = static_cast<pid_t>(pid);
    return pid_ > 0;
  }

  // Stops the server by its process id (a fast shutdown: sessions are cut
  // off at once) and waits for it to be gone.
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGINT);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (::kill(pid_, 0) == 0 || errno != ESRCH) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }

  // Runs one SQL statement through psql; its rows, one a line, fields
  // separated by '|'.
  std::string Sql(const std::string& sql) const {
    const std::string out = dir_ + "/psql.out";
    Run({bin_ + "/psql", "-X", "-q", "-A", "-t", "-h", dir_, "-U", "takt", "-d",
         "postgres", "-c", sql},
        out);
    return Read(out);
  }

 private:
  std::string data() const { return dir_ + "/data"; }

  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Runs a program as the server's user in the server's folder, its output
  // to `output`; the exit status.
  int Run(std::vector<std::string> args, const std::string& output) const {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (gid_ != 0 || uid_ != 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid_) != 0 ||
            ::setuid(uid_) != 0) {
          ::_exit(126);
        }
      }
      if (::chdir(dir_.c_str()) != 0) ::_exit(126);
      const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd < 0) ::_exit(126);
      ::dup2(fd, STDOUT_FILENO);
      ::dup2(fd, STDERR_FILENO);
      ::close(fd);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string bin_;
  std::string dir_;
  std::string error_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  pid_t pid_ = -1;
};

}  // namespace taktm::testing

#endif  // TAKT_TESTS_HARNESS_PG_SERVER_H_
